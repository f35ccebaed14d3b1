/*
 * exitcodes.h - the installer's and the tools' exit codes.
 *
 *   0  done: upgraded, reverted, listed, extracted, contents shown; or, in an
 *      interactive run, the person chose to stop before anything changed
 *   1  an unattended run stopped at start-up, or a tool file could not be
 *      written
 *   2  the package is damaged: the self-check failed, a payload failed to
 *      unpack, an extracted file failed its CRC-32
 *   3  the package does not apply: the installed release is not recognised,
 *      verification failed, disk space is short, no usable revert label
 *   4  the upgrade or revert failed
 *   5  the extraction could not write a file
 *   6  "verify" found the installation different from its records (drift)
 *
 * A run started with "nouser" that ends without finishing its upgrade or
 * revert never exits with EXIT_DONE.
 */
#ifndef HERON_SHELL_EXITCODES_H
#define HERON_SHELL_EXITCODES_H

#define EXIT_DONE 0
#define EXIT_STARTUP 1
#define EXIT_DAMAGED 2
#define EXIT_NOT_APPLICABLE 3
#define EXIT_FAILED 4
#define EXIT_EXTRACT_WRITE 5
#define EXIT_DRIFT 6

#endif
