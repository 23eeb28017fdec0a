// What the tests may see of the window beyond what the toolkit shows.
#ifndef ORVEL_TEST_FRAME_ACCESS_H
#define ORVEL_TEST_FRAME_ACCESS_H

#include "orvelMain.h"

#include <wx/timer.h>

#include <string>
#include <vector>

struct orvelFrameAccess {
    static wxTimer& timer(orvelFrame* f) { return f->Timer1; }
    static const procVector& table(orvelFrame* f) { return f->ps.records(); }
    static CPU_t* cpus(orvelFrame* f) { return f->cpus; }
    static MEM_t* mems(orvelFrame* f) { return f->mems; }
    static PROC_t* scratch(orvelFrame* f) { return f->procs; }
    static wxListCtrl* list(orvelFrame* f) { return f->ListCtrl1; }
    static wxNotebook* notebook(orvelFrame* f) { return f->Notebook1; }
    static wxStaticText* cpuText(orvelFrame* f) { return f->StaticText1; }
    static wxStaticText* memText(orvelFrame* f) { return f->StaticText2; }
    static wxStatusBar* status(orvelFrame* f) { return f->StatusBar1; }
    static const wxEventTableEntry* staticEntries() { return orvelFrame::sm_eventTableEntries; }
    // The 21 control IDs in declaration order.
    static std::vector<long> ids() {
        return {orvelFrame::ID_LISTCTRL1,
                orvelFrame::ID_PANEL1,
                orvelFrame::ID_STATICTEXT1,
                orvelFrame::ID_STATICTEXT2,
                orvelFrame::ID_STATICBITMAP2,
                orvelFrame::ID_STATICBITMAP3,
                orvelFrame::ID_PANEL2,
                orvelFrame::ID_STATICTEXT3,
                orvelFrame::ID_STATICBITMAP1,
                orvelFrame::ID_PANEL3,
                orvelFrame::ID_NOTEBOOK1,
                orvelFrame::idMenuQuit,
                orvelFrame::idMenuUpdate,
                orvelFrame::idMenuUpdateSpeedHi,
                orvelFrame::idMenuUpdateSpeedMd,
                orvelFrame::idMenuUpdateSpeedLw,
                orvelFrame::idMenuUpdateRateStp,
                orvelFrame::ID_MENUITEM1,
                orvelFrame::idMenuAbout,
                orvelFrame::ID_STATUSBAR1,
                orvelFrame::ID_TIMER1};
    }
    static long timerId() { return orvelFrame::ID_TIMER1; }
    // The process of each list row, top first.
    static std::vector<num>& rows(orvelFrame* f) { return f->ListCtrl1->rows; }
};

// One refresh cycle, the way the timer delivers it.
inline void runCycle(orvelFrame* f) {
    orvelFrameAccess::timer(f).Notify();
}

// Shows a notebook page the way a click on its tab does, page-change event
// included.
inline void showPage(orvelFrame* f, int page) {
    orvelFrameAccess::notebook(f)->SetSelection(page);
}
enum { processPage = 0, performancePage = 1, infoPage = 2 };

inline std::string utf8(const wxString& s) {
    return std::string(s.utf8_str());
}

inline std::string cellText(wxListCtrl* list, long row, int col) {
    return utf8(list->GetItemText(row, col));
}

// "nan" or "inf" in any case, as printf writes a float that is not a number.
bool hasNanOrInf(std::string s);

#endif
