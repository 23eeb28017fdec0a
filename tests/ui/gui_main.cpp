// Runs the tests inside a real wxWidgets GUI application (an X display is
// needed; the test command provides one with Xvfb).
#include "frame_access.h"
#include "orvelAppBase.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>

namespace {
class TestApp : public orvelAppBase {
public:
    bool OnInit() override {
        wxInitAllImageHandlers();
        return true;
    }
    // A toolkit assertion fails the running test instead of opening a dialog.
    void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                         const wxChar* msg) override {
        ADD_FAILURE() << describeAssertion(file, line, func, cond, msg);
    }
};
} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    wxApp::SetInstance(new TestApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        fprintf(stderr, "cannot start the toolkit (is DISPLAY set?)\n");
        return 2;
    }
    int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
