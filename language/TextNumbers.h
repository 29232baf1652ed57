// The numbers of the texts in the language libraries' string tables, named after what each
// says to the user. Read by the resource compiler for the string tables and by the programs,
// so plain defines only. A library delivered in place of ours must keep these numbers; 102,
// 103 and 105 are not used.
#pragma once

// The launcher
#define IDS_UPDATER_NOT_STARTED 101

// The updater's window and its message boxes
#define IDS_ONLINE_UPDATE 104 // end of the window's caption, after the product's name and ":"
#define IDS_NO_UPDATE_INFO 106
#define IDS_ASK_REQUIRED_UPDATE 107 // the question when the list has no message of its own
#define IDS_ASK_UPDATE 108
#define IDS_DOWNLOAD_FAILED 109
#define IDS_UNUSABLE_WITHOUT_UPDATE 110
#define IDS_DOWNLOADS_CHANGED 111
#define IDS_INSTALL_FAILED 112
#define IDS_INSTALLED 113
#define IDS_CANNOT_SCHEDULE 114
#define IDS_FILES_IN_USE 115
#define IDS_APP_NOT_STARTED 116
#define IDS_UPDATING 117

// The progress line: the states of a transfer
#define IDS_AUTH_REQUIRED 118
#define IDS_CONNECTED 119
#define IDS_CONNECTION_FAILED 120
#define IDS_DISCONNECTED 121
#define IDS_SERVER_ERROR 122
#define IDS_HOST_RESOLVED 123
#define IDS_HOST_NOT_FOUND 124
#define IDS_RECEIVING 125
#define IDS_REQUEST_SENT 126
#define IDS_REDIRECTED 127
#define IDS_STATUS 128 // followed directly by the HTTP client's own status text
#define IDS_COMPLETED 129
#define IDS_UPDATE_LIST 130 // stands for the file name while the list is read into memory
#define IDS_CONTACTING_SERVER 131
#define IDS_CANCELLING 132

// The window's cancel button
#define IDS_CANCEL 133
