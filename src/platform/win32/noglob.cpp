/*
 * noglob.cpp - the C runtime of the Windows build must not expand "*" and
 * "?" in a program's arguments: the cabinet tool is given "*" and takes it
 * as its own pattern, as the Microsoft C runtime leaves it by default.
 */
extern "C" {
int _dowildcard = 0;
}
