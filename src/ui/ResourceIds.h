#pragma once
// The ids of the plug-in's resources: the configuration dialogs, their controls and the
// icon strip. Shared by the resource script and the dialogs' code.

// Dialog templates.
#define IDD_DATASOURCE 101  // "Create Connection to Data Source"
#define IDD_CREDENTIALS 102 // "OPC Configuration"
#define IDD_NODES 103       // "Select Nodes"

// A strip of 51 icons of 16x16 pixels, magenta transparent.
#define IDB_ICONS 104

// Controls of the data-source dialog (OK is 1, Cancel 2).
#define IDC_ADD_MACHINE 3
#define IDC_CREDENTIALS 4
#define IDC_TEST_CONNECTIVITY 6
#define IDC_SERVER_TREE 1001
#define IDC_OTHER_SERVER 1002

// Controls of the credentials dialog.
#define IDC_USER_NAME 1003
#define IDC_PASSWORD 1004
#define IDC_DOMAIN 1005

// Controls of the node dialog.
#define IDC_NODE_TREE 1006

// Cells of the icon strip.
#define ICON_HDA_SERVER 7
#define ICON_NODE 9
#define ICON_MACHINE 27
#define ICON_NETWORK 28
#define ICON_OTHER_SERVER 29
#define ICON_ERROR 35
