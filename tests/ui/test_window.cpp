// The main window as the toolkit builds it: structure, menus, pictures, and
// the quiet time before the first tick.
#include "frame_access.h"
#include "toolkit.h"
#include "wait_for.h"

#include <gtest/gtest.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#ifndef ORVEL_DATA_DIR
#error "ORVEL_DATA_DIR must name the folder with the pictures"
#endif

namespace {

// Builds the window with the working directory set to dir, as the program
// resolves its pictures there.
orvelFrame* buildIn(const std::string& dir) {
    char old[PATH_MAX];
    EXPECT_NE(getcwd(old, sizeof old), nullptr);
    EXPECT_EQ(chdir(dir.c_str()), 0);
    orvelFrame* f = new orvelFrame(nullptr, 4711);
    EXPECT_EQ(chdir(old), 0);
    return f;
}

void closeAndSettle(orvelFrame* f) {
    f->Close(true);
    pumpEvents(50); // the toolkit deletes closed frames when idle
}

struct Row {
    const char* name;
    const char* cls;
    const char* parent;
    int x, y, w, h; // -1: not fixed by the layout
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        frame = buildIn(ORVEL_DATA_DIR);
        frame->Show(true);
        pumpEvents(100);
    }
    void TearDown() override { closeAndSettle(frame); }
    wxWindow* byName(const char* name) { return wxWindow::FindWindowByName(name, frame); }
    orvelFrame* frame = nullptr;
};

TEST_F(WindowTest, FrameTitleSizeAndName) {
    EXPECT_EQ(utf8(frame->GetTitle()), "Orvel System Manager");
    // 534 x 510 was the client area before the menu and status bars took
    // their share of it.
    wxSize client = frame->GetClientSize();
    EXPECT_EQ(client.x, 534);
    EXPECT_EQ(client.y + frame->GetMenuBar()->GetSize().y + frame->GetStatusBar()->GetSize().y,
              510);
    EXPECT_EQ(frame->GetName(), "wxID_ANY");
    EXPECT_NE(frame->GetId(), 4711) << "the frame ignores the ID it is given";
    EXPECT_EQ(frame->GetWindowStyleFlag() & wxDEFAULT_FRAME_STYLE, long(wxDEFAULT_FRAME_STYLE));
    EXPECT_EQ(frame->GetParent(), nullptr);
}

TEST_F(WindowTest, WidgetTreeMatchesLayout) {
    const Row rows[] = {
        {"ID_NOTEBOOK1", "wxNotebook", "wxID_ANY", -1, -1, -1, -1},
        {"ID_PANEL1", "wxPanel", "ID_NOTEBOOK1", -1, -1, -1, -1},
        {"ID_LISTCTRL1", "wxListCtrl", "ID_PANEL1", 8, 8, 514, 408},
        {"ID_PANEL2", "wxPanel", "ID_NOTEBOOK1", -1, -1, -1, -1},
        {"ID_STATICTEXT1", "wxStaticText", "ID_PANEL2", 16, 88, 152, 40},
        {"ID_STATICTEXT2", "wxStaticText", "ID_PANEL2", 16, 216, 184, 112},
        {"ID_STATICBITMAP2", "wxStaticBitmap", "ID_PANEL2", 17, 18, -1, -1},
        {"ID_STATICBITMAP3", "wxStaticBitmap", "ID_PANEL2", 17, 147, -1, -1},
        {"ID_PANEL3", "wxPanel", "ID_NOTEBOOK1", -1, -1, -1, -1},
        {"ID_STATICTEXT3", "wxStaticText", "ID_PANEL3", 128, 168, -1, -1},
        {"ID_STATICBITMAP1", "wxStaticBitmap", "ID_PANEL3", 64, 40, -1, -1},
        {"ID_STATUSBAR1", "wxStatusBar", "wxID_ANY", -1, -1, -1, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        wxWindow* w = byName(r.name);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->IsKindOf(wxClassInfo::FindClass(r.cls)))
            << "is a " << w->GetClassInfo()->GetClassName();
        ASSERT_NE(w->GetParent(), nullptr);
        EXPECT_EQ(w->GetParent()->GetName(), r.parent);
        if (r.x >= 0) {
            EXPECT_EQ(w->GetPosition(), wxPoint(r.x, r.y));
        }
        if (r.w >= 0) {
            EXPECT_EQ(w->GetSize(), wxSize(r.w, r.h));
        }
    }
    // The notebook is the frame's only child besides the status bar, so it
    // fills the client area.
    wxWindow* nb = byName("ID_NOTEBOOK1");
    EXPECT_EQ(nb->GetSize(), frame->GetClientSize());
    long listStyle = byName("ID_LISTCTRL1")->GetWindowStyleFlag();
    EXPECT_TRUE(listStyle & wxLC_REPORT);
    EXPECT_TRUE(listStyle & wxLC_ALIGN_LEFT);
    EXPECT_FALSE(listStyle &
                 (wxLC_SINGLE_SEL | wxLC_EDIT_LABELS | wxLC_SORT_ASCENDING | wxLC_SORT_DESCENDING));
    EXPECT_TRUE(byName("ID_STATICBITMAP2")->GetWindowStyleFlag() & wxDOUBLE_BORDER);
    EXPECT_TRUE(byName("ID_STATICBITMAP3")->GetWindowStyleFlag() & wxDOUBLE_BORDER);
}

TEST_F(WindowTest, PagesTextsAndFont) {
    wxNotebook* nb = wxDynamicCast(byName("ID_NOTEBOOK1"), wxNotebook);
    ASSERT_NE(nb, nullptr);
    ASSERT_EQ(nb->GetPageCount(), 3u);
    EXPECT_EQ(utf8(nb->GetPageText(0)), "프로세스");
    EXPECT_EQ(utf8(nb->GetPageText(1)), "성능");
    EXPECT_EQ(utf8(nb->GetPageText(2)), "정보");
    EXPECT_EQ(nb->GetPage(0)->GetName(), "ID_PANEL1");
    EXPECT_EQ(nb->GetPage(2)->GetName(), "ID_PANEL3");
    EXPECT_EQ(nb->GetSelection(), 0);

    EXPECT_EQ(utf8(wxDynamicCast(byName("ID_STATICTEXT1"), wxStaticText)->GetLabel()), "Label");
    EXPECT_EQ(utf8(wxDynamicCast(byName("ID_STATICTEXT2"), wxStaticText)->GetLabel()), "Label");
    std::string info = utf8(wxDynamicCast(byName("ID_STATICTEXT3"), wxStaticText)->GetLabel());
    EXPECT_EQ(info.rfind("Orvel System Manager v0.01 (101)\n\n", 0), 0u) << info;
    EXPECT_EQ(info.back(), '\n');

    wxFont font = byName("ID_STATICBITMAP1")->GetFont();
    EXPECT_EQ(font.GetPointSize(), 16);
    EXPECT_EQ(utf8(font.GetFaceName()), "백묵 굴림");
    EXPECT_NE(byName("ID_STATICTEXT3")->GetFont().GetFaceName(), font.GetFaceName());
}

TEST_F(WindowTest, ListColumns) {
    wxListCtrl* list = orvelFrameAccess::list(frame);
    ASSERT_EQ(list->GetColumnCount(), 6);
    const char* heads[] = {"PID", "COMMAND", "USER", "%CPU", "%MEM", "%TIME"};
    const int widths[] = {52, 164, 70, 50, 70, wxLIST_DEFAULT_COL_WIDTH};
    // PID and %MEM are widened for the largest PID under systemd's pid_max
    // and 16 GB resident, in the list's own font; the list draws a cell's
    // text in the column's width less 8 pixels.
    const char* widest[] = {"4194304", nullptr, nullptr, nullptr, "16777216KB", nullptr};
    for (int c = 0; c < 6; ++c) {
        wxListItem col;
        col.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_FORMAT);
        ASSERT_TRUE(list->GetColumn(c, col));
        EXPECT_EQ(utf8(col.GetText()), heads[c]);
        EXPECT_EQ(col.GetAlign(), wxLIST_FORMAT_LEFT);
        if (!widest[c]) {
            EXPECT_EQ(list->GetColumnWidth(c), widths[c]) << heads[c];
            continue;
        }
        EXPECT_GE(list->GetColumnWidth(c), widths[c]) << heads[c];
        EXPECT_LE(list->GetTextExtent(widest[c]).GetWidth() + 8, list->GetColumnWidth(c))
            << heads[c] << " cuts " << widest[c];
    }
    EXPECT_EQ(list->GetItemCount(), 0);
}

TEST_F(WindowTest, MenusLabelsAndAccelerators) {
    wxMenuBar* bar = frame->GetMenuBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->GetMenuCount(), 3u);
    EXPECT_EQ(utf8(bar->GetMenuLabel(0)), "파일(&F)");
    EXPECT_EQ(utf8(bar->GetMenuLabel(1)), "보기(&V)");
    EXPECT_EQ(utf8(bar->GetMenuLabel(2)), "도움말(&H)");

    struct Item {
        int menu;
        const char* label; // without the accelerator
        int key;           // 0: none
        int flags;
    };
    const Item items[] = {
        {0, "종료", WXK_F4, wxACCEL_ALT}, {1, "지금 새로 고침 (&R)", 0, 0},
        {1, "업데이트 속도 (&U)", 0, 0},  {1, "빠름 (&H)", 0, 0},
        {1, "중간 (&M)", 0, 0},           {1, "느림 (&L)", 0, 0},
        {1, "일시 중지 (&S)", 0, 0},      {2, "정보", WXK_F1, wxACCEL_NORMAL},
    };
    for (const Item& it : items) {
        SCOPED_TRACE(it.label);
        wxString label = wxString::FromUTF8(it.label);
        wxString plain = wxMenuItem::GetLabelText(label);
        int id = bar->FindMenuItem(bar->GetMenuLabelText(it.menu), plain);
        ASSERT_NE(id, wxNOT_FOUND);
        wxMenuItem* mi = bar->FindItem(id);
        ASSERT_NE(mi, nullptr);
        EXPECT_EQ(utf8(mi->GetItemLabel().BeforeFirst('\t')), it.label);
        EXPECT_EQ(mi->GetKind(), wxITEM_NORMAL);
        EXPECT_TRUE(mi->IsEnabled());
        EXPECT_FALSE(mi->IsCheckable());
        EXPECT_TRUE(mi->GetHelp().empty());
        std::unique_ptr<wxAcceleratorEntry> acc(mi->GetAccel());
        if (it.key) {
            ASSERT_TRUE(acc);
            EXPECT_EQ(acc->GetKeyCode(), it.key);
            EXPECT_EQ(acc->GetFlags(), it.flags);
        } else {
            EXPECT_FALSE(acc);
        }
    }
    // The update-speed entry opens the submenu of the four speed items.
    int speed =
        bar->FindMenuItem(bar->GetMenuLabelText(1),
                          wxMenuItem::GetLabelText(wxString::FromUTF8("업데이트 속도 (&U)")));
    ASSERT_NE(speed, wxNOT_FOUND);
    wxMenuItem* entry = bar->FindItem(speed);
    ASSERT_TRUE(entry->IsSubMenu());
    EXPECT_EQ(entry->GetSubMenu()->GetMenuItemCount(), 4u);
    EXPECT_EQ(bar->GetMenu(1)->GetMenuItemCount(), 2u);
}

TEST_F(WindowTest, StatusBarAndTimerAtStart) {
    wxStatusBar* sb = frame->GetStatusBar();
    ASSERT_NE(sb, nullptr);
    EXPECT_EQ(sb->GetName(), "ID_STATUSBAR1");
    EXPECT_EQ(sb->GetFieldsCount(), 1);
    EXPECT_FALSE(sb->GetWindowStyleFlag() & wxSTB_SIZEGRIP);
    EXPECT_TRUE(sb->GetStatusText(0).empty());
    wxTimer& t = orvelFrameAccess::timer(frame);
    EXPECT_TRUE(t.IsRunning());
    EXPECT_EQ(t.GetInterval(), 2000);
    EXPECT_FALSE(t.IsOneShot());
    EXPECT_EQ(t.GetOwner(), frame);
    EXPECT_EQ(t.GetId(), orvelFrameAccess::timerId());
}

TEST_F(WindowTest, PicturesLoadFromTheWorkingDirectory) {
    for (const char* name : {"ID_STATICBITMAP1", "ID_STATICBITMAP2", "ID_STATICBITMAP3"}) {
        wxStaticBitmap* b = wxDynamicCast(byName(name), wxStaticBitmap);
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(b->GetBitmap().IsOk()) << name;
    }
    EXPECT_EQ(wxDynamicCast(byName("ID_STATICBITMAP1"), wxStaticBitmap)->GetBitmap().GetWidth(),
              400);
    EXPECT_EQ(wxDynamicCast(byName("ID_STATICBITMAP2"), wxStaticBitmap)->GetBitmap().GetWidth(),
              496);
    // The performance page's picture never changes, so it must not look like
    // a history of the figures: a plain grid, each row of cells like the first.
    wxImage grid =
        wxDynamicCast(byName("ID_STATICBITMAP2"), wxStaticBitmap)->GetBitmap().ConvertToImage();
    const int cell = 16;
    int off = 0;
    for (int y = cell; y < grid.GetHeight(); ++y)
        for (int x = 0; x < grid.GetWidth(); ++x)
            off += std::abs(grid.GetGreen(x, y) - grid.GetGreen(x, y % cell)) > 40;
    EXPECT_EQ(off, 0) << "pixels that differ from the grid's first row of cells";
}

TEST(WindowStart, WithoutPicturesTheWindowIsCompleteAndEmptyPictured) {
    char tmpl[] = "/tmp/orvel-nopics-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    orvelFrame* f = buildIn(tmpl);
    f->Show(true);
    pumpEvents(50);
    for (const char* name : {"ID_STATICBITMAP1", "ID_STATICBITMAP2", "ID_STATICBITMAP3"}) {
        wxStaticBitmap* b = wxDynamicCast(wxWindow::FindWindowByName(name, f), wxStaticBitmap);
        ASSERT_NE(b, nullptr);
        EXPECT_FALSE(b->GetBitmap().IsOk()) << name;
    }
    EXPECT_EQ(orvelFrameAccess::list(f)->GetColumnCount(), 6);
    EXPECT_NE(f->GetMenuBar(), nullptr);
    runCycle(f); // the refresh works without them too
    EXPECT_GT(orvelFrameAccess::list(f)->GetItemCount(), 0);
    closeAndSettle(f);
    rmdir(tmpl);
}

// Looked at before the event loop runs, so no tick can have come.
TEST(WindowStart, RecordsBeforeTheFirstTick) {
    orvelFrame* f = buildIn(ORVEL_DATA_DIR);
    PROC_t* scratch = orvelFrameAccess::scratch(f);
    ASSERT_NE(scratch, nullptr);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(scratch);
    for (size_t i = 0; i < sizeof(PROC_t); ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_EQ(orvelFrameAccess::cpus(f), nullptr);
    EXPECT_EQ(orvelFrameAccess::mems(f), nullptr);
    EXPECT_TRUE(orvelFrameAccess::table(f).empty());
    closeAndSettle(f);
}

TEST(WindowStart, NoRefreshBeforeTheFirstTickAndCleanEarlyClose) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point built = Clock::now();
    orvelFrame* f = buildIn(ORVEL_DATA_DIR);
    std::vector<Clock::time_point> ticks; // seen before the window's own handler
    f->Bind(
        wxEVT_TIMER,
        [&ticks](wxTimerEvent& e) {
            ticks.push_back(Clock::now());
            e.Skip();
        },
        orvelFrameAccess::timerId());
    f->Show(true);
    pumpEvents(1500);
    // A loaded machine may hold the test past the first tick: then there is
    // nothing before it to look at, but it must not have come early.
    if (ticks.empty()) {
        EXPECT_EQ(orvelFrameAccess::list(f)->GetItemCount(), 0);
        // The performance page shown before any sample keeps its placeholders.
        showPage(f, performancePage);
        pumpEvents(100);
        if (ticks.empty()) {
            EXPECT_EQ(utf8(orvelFrameAccess::cpuText(f)->GetLabel()), "Label");
            EXPECT_EQ(utf8(orvelFrameAccess::memText(f)->GetLabel()), "Label");
            EXPECT_TRUE(orvelFrameAccess::status(f)->GetStatusText(0).empty());
            EXPECT_EQ(orvelFrameAccess::cpus(f), nullptr);
        }
        showPage(f, processPage);
    }
    for (Clock::time_point t : ticks)
        EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(t - built).count(), 2000)
            << "a tick before the first period was over";
    if (!ticks.empty())
        std::cout << "the first tick came before the test could look: only its time is checked\n";
    // Closed (mostly) before the first tick: nothing to release but the
    // scratch record.
    wxWindowID id = f->GetId();
    f->Close(false);
    EXPECT_TRUE(waitFor([id] { return wxWindow::FindWindowById(id) == nullptr; }, kPatienceMs));
}

TEST(WindowStart, FirstTickFillsTheList) {
    orvelFrame* f = buildIn(ORVEL_DATA_DIR);
    f->Show(true);
    EXPECT_TRUE(
        waitFor([f] { return orvelFrameAccess::list(f)->GetItemCount() > 0; }, kPatienceMs));
    showPage(f, performancePage);
    EXPECT_NE(utf8(orvelFrameAccess::cpuText(f)->GetLabel()), "Label");
    EXPECT_NE(utf8(orvelFrameAccess::memText(f)->GetLabel()), "Label");
    closeAndSettle(f);
}

// The test programs start the toolkit as the program does: with GDK's GL
// probe on, Mesa's libraries are mapped (and leak under LeakSanitizer).
TEST(WindowStart, NoOpenGLLibraryIsLoaded) {
    std::ifstream maps("/proc/self/maps");
    std::string line, gl;
    while (std::getline(maps, line))
        if (line.find("/libGL") != std::string::npos || line.find("_dri.so") != std::string::npos)
            gl += line + "\n";
    EXPECT_EQ(gl, "");
}

TEST(WindowUnit, IdsAreFreshAndInDeclarationOrder) {
    std::vector<long> ids = orvelFrameAccess::ids();
    ASSERT_EQ(ids.size(), 21u);
    for (size_t i = 1; i < ids.size(); ++i)
        EXPECT_GT(ids[i], ids[i - 1]) << "ID " << i;
    EXPECT_GT(ids.front(), 0);
}

TEST(WindowUnit, StaticEventTableHoldsOnlyItsEnd) {
    EXPECT_EQ(orvelFrameAccess::staticEntries()[0].m_eventType, wxEVT_NULL);
}

TEST(WindowUnit, BuildInfoUsesTheToolkitVersion) {
    std::string version = utf8(wxString(wxVERSION_STRING));
    EXPECT_EQ(version.rfind("wxWidgets 3.", 0), 0u);
    EXPECT_EQ(utf8(wxbuildinfo(short_f)), version);
    EXPECT_EQ(utf8(wxbuildinfo(long_f)), version + "-Linux-Unicode build");
    EXPECT_EQ(utf8(wxbuildinfo(static_cast<wxbuildinfoformat>(7))), version);
}

} // namespace
