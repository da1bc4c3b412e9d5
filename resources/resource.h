/* Identifiers shared by the program and its resource script. */
#ifndef TARROWICK_RESOURCE_H
#define TARROWICK_RESOURCE_H

#define IDD_MAIN        103     /* the main window's dialog template */
#define IDI_MAIN        129     /* the program's icon group */

#define IDC_TIME        1000    /* time picker: the alarm's time of day */
#define IDC_TARGET      1002    /* the file or web address to open */
#define IDC_BROWSE      1003    /* "Browse..." */
#define IDC_TOGGLE      1004    /* "Activate Alarm" / "Deactivate Alarm" */
#define IDC_TIME_LABEL  1005    /* "Alarm time:" */
#define IDC_TEST        1006    /* "Test Alarm" */
#define IDC_STATUS      1007    /* status line */

#endif
