/*
 * storm.h - the independent DCL implode/explode implementation used as a
 * peer by tests and benchmarks (Debian's libstorm exports both functions
 * without declaring them). Included only where HERON_HAVE_STORM is defined.
 *
 * implode: type 0 binary, 1 ASCII literals; dsize 1024, 2048 or 4096.
 * Work buffers: give 65,536 bytes to either.
 */
#ifndef HERON_TESTS_SUPPORT_STORM_H
#define HERON_TESTS_SUPPORT_STORM_H

extern "C" unsigned int implode(unsigned int (*read_buf)(char*, unsigned int*, void*),
                                void (*write_buf)(char*, unsigned int*, void*), char* work_buf, void* param,
                                unsigned int* type, unsigned int* dsize);
extern "C" unsigned int explode(unsigned int (*read_buf)(char*, unsigned int*, void*),
                                void (*write_buf)(char*, unsigned int*, void*), char* work_buf, void* param);

#endif
