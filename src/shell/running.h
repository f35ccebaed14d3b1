/*
 * running.h - the running-product check and the service registration.
 */
#ifndef HERON_SHELL_RUNNING_H
#define HERON_SHELL_RUNNING_H

int ProductRunning(void);
int RegisterStatService(void);

#endif
