/*
 * verify.h - verification of the installed files the package patches in place.
 */
#ifndef HERON_IDENTIFY_VERIFY_H
#define HERON_IDENTIFY_VERIFY_H

/* 2 when the checked files are as expected, 0 otherwise. */
int VerifyQuillVersion(void);

#endif
