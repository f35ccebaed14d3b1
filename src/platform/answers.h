/*
 * answers.h - the scripted message box both backends share (portable C, no
 * system calls beyond the environment and standard output).
 *
 * The box is written on standard output (=== CAPTION ===, the text,
 * === answer: BUTTON ===) and answered from HERON_ANSWERS: comma-separated
 * button names taken one per box across the whole process, any case, blanks
 * around a name ignored. An entry that names none of the box's buttons, or a
 * used-up or unset list, answers the default button (the first, or the
 * second with MB_DEFBUTTON2).
 */
#ifndef HERON_PLATFORM_ANSWERS_H
#define HERON_PLATFORM_ANSWERS_H

/* Shows the box as above and returns the id of the button answered. */
int PlatScriptedBox(const char* szText, const char* szCaption, unsigned int uType);

#endif
