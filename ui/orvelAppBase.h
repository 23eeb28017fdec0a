// What every application object that builds the window does before the
// toolkit opens the display: the program's own and the test drivers'.
#ifndef ORVELAPPBASE_H
#define ORVELAPPBASE_H

#include <wx/app.h>

#include <cstdlib>

#include "process_table.h"

class orvelAppBase : public wxApp {
public:
    // The window draws nothing with OpenGL, yet GDK's probe for GL visuals
    // maps Mesa's software renderer, half the program's resident memory; a
    // GDK_GL set by the user still wins.
    // The process table holds a stat file open for each process.
    orvelAppBase() {
        setenv("GDK_GL", "disable", 0);
        raise_open_file_limit();
    }
};

#endif
