// The main window: process list, performance and information pages, menus,
// status bar and the refresh timer.
#ifndef ORVELMAIN_H
#define ORVELMAIN_H

#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/timer.h>

#include "cpu_usage.h"
#include "mem_usage.h"
#include "processList.h"
#include "process_table.h"
#include "procstat.h"
#include "texts.h"

// The first line of the information text and the About box.
#define ORVEL_VERSION_TEXT "Orvel System Manager v0.01 (101)"

// The refresh intervals of the View menu's speeds, in milliseconds; the
// window starts at the medium one.
enum refreshinterval { intervalFast = 500, intervalMedium = 2000, intervalSlow = 4000 };

enum wxbuildinfoformat { short_f, long_f };
wxString wxbuildinfo(wxbuildinfoformat format);

class orvelFrame : public wxFrame {
public:
    orvelFrame(wxWindow* parent, wxWindowID id = -1);
    virtual ~orvelFrame();

private:
    void OnQuit(wxCommandEvent& event);
    void OnAbout(wxCommandEvent& event);
    void OnUpdate(wxCommandEvent& event);
    void OnUpdateSpeedHi(wxCommandEvent& event);
    void OnUpdateSpeedMd(wxCommandEvent& event);
    void OnUpdateSpeedLw(wxCommandEvent& event);
    void OnUpdateStp(wxCommandEvent& event);
    void OnListCtrl1ItemRClick(wxListEvent& event);
    void OnTimer1Trigger1(wxTimerEvent& event);
    void OnNotebook1PageChanged(wxNotebookEvent& event);

    // A column's width: at least least, and room for the widest text it
    // is meant to show, in the list's own font.
    int widthFor(const wxString& widest, int least) const;

    // The refresh cycle, and its steps.
    void refreshCycle();
    void showSummary();
    bool scanProcesses(int& numproc);

    static const long ID_LISTCTRL1;
    static const long ID_PANEL1;
    static const long ID_STATICTEXT1;
    static const long ID_STATICTEXT2;
    static const long ID_STATICBITMAP2;
    static const long ID_STATICBITMAP3;
    static const long ID_PANEL2;
    static const long ID_STATICTEXT3;
    static const long ID_STATICBITMAP1;
    static const long ID_PANEL3;
    static const long ID_NOTEBOOK1;
    static const long idMenuQuit;
    static const long idMenuUpdate;
    static const long idMenuUpdateSpeedHi;
    static const long idMenuUpdateSpeedMd;
    static const long idMenuUpdateSpeedLw;
    static const long idMenuUpdateRateStp;
    static const long ID_MENUITEM1;
    static const long idMenuAbout;
    static const long ID_STATUSBAR1;
    static const long ID_TIMER1;

    wxStaticBitmap* StaticBitmap2;
    wxMenuItem* MenuItem8;
    wxMenuItem* MenuItem7;
    orvelList* ListCtrl1;
    wxNotebook* Notebook1;
    wxMenuItem* MenuItem5;
    wxStaticText* StaticText2;
    wxMenu* Menu3;
    wxStaticBitmap* StaticBitmap1;
    wxPanel* Panel1;
    wxStaticText* StaticText1;
    wxStaticText* StaticText3;
    wxPanel* Panel3;
    wxMenuItem* MenuItem3;
    wxStatusBar* StatusBar1;
    wxMenuItem* MenuItem6;
    wxPanel* Panel2;
    wxStaticBitmap* StaticBitmap3;
    wxTimer Timer1;
    CPU_t* cpus;
    MEM_t* mems;
    PROC_t* procs;
    ProcessTable ps;

    friend struct orvelFrameAccess; // the tests' window into the frame

    DECLARE_EVENT_TABLE()
};

#endif
