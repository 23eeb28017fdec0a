#include "orvelApp.h"

#include "orvelMain.h"

#include <wx/image.h>

#include <cstdlib>

IMPLEMENT_APP(orvelApp);

// Built before the toolkit opens the display. The window draws nothing with
// OpenGL, yet GDK's probe for GL visuals maps Mesa's software renderer, half
// the program's resident memory; a GDK_GL set by the user still wins.
orvelApp::orvelApp() {
    setenv("GDK_GL", "disable", 0);
}

bool orvelApp::OnInit() {
    bool wxsOK = true;
    // The window loads its JPEG pictures while it is built.
    wxInitAllImageHandlers();
    if (wxsOK) {
        orvelFrame* Frame = new orvelFrame(0);
        Frame->Show(true);
        SetTopWindow(Frame);
    }
    return wxsOK;
}
