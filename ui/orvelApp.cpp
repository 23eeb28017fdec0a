#include "orvelApp.h"

#include "orvelMain.h"

#include <wx/image.h>

IMPLEMENT_APP(orvelApp);

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
