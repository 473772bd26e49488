// Resource numbers of the main window's resources, shared by the .rc files and the C++ code
// (plain #defines: the resource compiler reads this file too). The main window uses 1 to 199;
// the program icon is resource 1, the one the shell and the about box show.
#pragma once

#define IDI_UMBRASCOPE 1

// The indicator states, in State order (0 not run, 1 found something, 2 nothing found).
#define IDI_STATE_NOT_RUN 110
#define IDI_STATE_FOUND 111
#define IDI_STATE_CLEAN 112

// The finding kinds, in kind order (0 process, 1 other, 2 folder, 3 file, 4 key, 5 value), then
// the two Deep Scan details markers (6 plain, 7 catalogue entry).
#define IDI_KIND_PROCESS 120
#define IDI_KIND_OTHER 121
#define IDI_KIND_FOLDER 122
#define IDI_KIND_FILE 123
#define IDI_KIND_KEY 124
#define IDI_KIND_VALUE 125
#define IDI_MARKER_PLAIN 126
#define IDI_MARKER_KNOWN 127
