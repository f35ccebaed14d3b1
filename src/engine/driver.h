/*
 * driver.h - one upgrade or revert from end to end.
 */
#ifndef HERON_ENGINE_DRIVER_H
#define HERON_ENGINE_DRIVER_H

/* 1 when the upgrade or revert and its follow-up steps succeeded. */
int UpgradeQuillVersion(void);

#endif
