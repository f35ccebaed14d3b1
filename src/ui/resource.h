/*
 * resource.h - ids of the installer's dialog resources and their controls,
 * shared by the logic and the dialog templates (src/ui/templates.cpp; the
 * role of a resource script's header on Windows).
 *
 *   Dialog 400  the wizard: one dialog whose controls form five pages
 *   Dialog 401  the self-check: a message line, a gauge, Cancel
 */
#ifndef HERON_UI_RESOURCE_H
#define HERON_UI_RESOURCE_H

#define IDD_WIZARD 400
#define IDD_SELFCHECK 401

/* Dialog 400 */
#define IDC_CLOSE 2             /* push button "&Close"; Escape sends the same command */
#define IDC_BACK 1001           /* push button "&Back" */
#define IDC_NEXT 1002           /* default push button "&Next" */
#define IDC_HEADING 1003        /* page heading; notices of unattended mode */
#define IDC_PROGRAM_CAP 1004    /* caption of the program directory */
#define IDC_PROGRAM_DIR 1005    /* single-line edit: the program directory */
#define IDC_PROGRAM_BROWSE 1006 /* "..." never shown */
#define IDC_DATA_CAP 1007       /* caption of the data directories */
#define IDC_DATA_DIRS 1008      /* drop-down combo box with edit field */
#define IDC_DATA_BROWSE 1009    /* "..." never shown */
#define IDC_HINT 1010           /* hint line of the welcome page */
#define IDC_VERSION 1011        /* installer version */
#define IDC_MESSAGE 1012        /* main message area */
#define IDC_GAUGE_FILE 1013     /* place holder of the current-file gauge */
#define IDC_GAUGE_TOTAL 1014    /* place holder of the total gauge */
#define IDC_FILE_CAP 1015       /* caption of the current-file gauge */
#define IDC_TOTAL_CAP 1016      /* caption of the total gauge */
#define IDC_ICON 1017           /* program icon "MAIN" */
#define IDC_LABEL_PROMPT 1018   /* prompt above the revert-label list */
#define IDC_LABELS 1019         /* sorted list box of revert labels */
#define IDC_LICENSE 1020        /* multi-line read-only edit: the agreement */
#define IDC_ACCEPT 1021         /* auto radio button "I accept" */
#define IDC_DECLINE 1022        /* auto radio button "I don't accept" */
#define IDC_ACCEPT_FRAME 1023   /* group box around the radio buttons */

/* Dialog 401 */
#define IDC_CHECK_CANCEL 2     /* default push button "Cancel", hidden until a failure */
#define IDC_CHECK_GAUGE 1001   /* place holder of the gauge */
#define IDC_CHECK_MESSAGE 1002 /* message line */

/* The child id of every gauge window. */
#define IDC_GAUGE_WINDOW 8888

#endif
