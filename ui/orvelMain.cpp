#include "orvelMain.h"

#include "accessible.h"

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/font.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/string.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <glib.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>
#include <vector>

wxString wxbuildinfo(wxbuildinfoformat format) {
    wxString wxbuild(wxVERSION_STRING);
    if (format == long_f) {
        wxbuild << _T("-Linux");
        wxbuild << _T("-Unicode build");
    }
    return wxbuild;
}

namespace {

// Interface texts are UTF-8 in the source; the C locale must not mangle them.
wxString tr(const char* utf8) {
    return wxGetTranslation(wxString::FromUTF8(utf8));
}

const char* const kInfoText =
    ORVEL_VERSION_TEXT "\n"
                       "\n"
                       "A small process and system monitor for Linux.\n"
                       "Every figure comes straight from the kernel's /proc.\n"
                       "Written by the Orvel developers with wxWidgets.\n";

} // namespace

const long orvelFrame::ID_LISTCTRL1 = wxNewId();
const long orvelFrame::ID_PANEL1 = wxNewId();
const long orvelFrame::ID_STATICTEXT1 = wxNewId();
const long orvelFrame::ID_STATICTEXT2 = wxNewId();
const long orvelFrame::ID_STATICBITMAP2 = wxNewId();
const long orvelFrame::ID_STATICBITMAP3 = wxNewId();
const long orvelFrame::ID_PANEL2 = wxNewId();
const long orvelFrame::ID_STATICTEXT3 = wxNewId();
const long orvelFrame::ID_STATICBITMAP1 = wxNewId();
const long orvelFrame::ID_PANEL3 = wxNewId();
const long orvelFrame::ID_NOTEBOOK1 = wxNewId();
const long orvelFrame::idMenuQuit = wxNewId();
const long orvelFrame::idMenuUpdate = wxNewId();
const long orvelFrame::idMenuUpdateSpeedHi = wxNewId();
const long orvelFrame::idMenuUpdateSpeedMd = wxNewId();
const long orvelFrame::idMenuUpdateSpeedLw = wxNewId();
const long orvelFrame::idMenuUpdateRateStp = wxNewId();
const long orvelFrame::ID_MENUITEM1 = wxNewId();
const long orvelFrame::idMenuAbout = wxNewId();
const long orvelFrame::ID_STATUSBAR1 = wxNewId();
const long orvelFrame::ID_TIMER1 = wxNewId();

BEGIN_EVENT_TABLE(orvelFrame, wxFrame)
END_EVENT_TABLE()

orvelFrame::orvelFrame(wxWindow* parent, wxWindowID id)
    : cpus(nullptr), mems(nullptr), procs(nullptr) {
    (void)id; // the frame always takes a fresh ID
    Create(parent, wxID_ANY, tr("Orvel System Manager"), wxDefaultPosition, wxDefaultSize,
           wxDEFAULT_FRAME_STYLE, _T("wxID_ANY"));
    SetClientSize(wxSize(534, 510));
    Move(wxDefaultPosition);

    Notebook1 =
        new wxNotebook(this, ID_NOTEBOOK1, wxDefaultPosition, wxDefaultSize, 0, _T("ID_NOTEBOOK1"));
    Panel1 = new wxPanel(Notebook1, ID_PANEL1, wxDefaultPosition, wxSize(584, 478), wxTAB_TRAVERSAL,
                         _T("ID_PANEL1"));
    ListCtrl1 = new orvelList(ps, Panel1, ID_LISTCTRL1, wxPoint(8, 8), wxSize(514, 408),
                              wxLC_REPORT | wxLC_ALIGN_LEFT, _T("ID_LISTCTRL1"));
    attachAccessibleTable(ListCtrl1, tr("프로세스"));
    Panel2 = new wxPanel(Notebook1, ID_PANEL2, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
                         _T("ID_PANEL2"));
    StaticText1 = new wxStaticText(Panel2, ID_STATICTEXT1, tr("Label"), wxPoint(16, 88),
                                   wxSize(152, 40), 0, _T("ID_STATICTEXT1"));
    StaticText2 = new wxStaticText(Panel2, ID_STATICTEXT2, tr("Label"), wxPoint(16, 216),
                                   wxSize(184, 112), 0, _T("ID_STATICTEXT2"));
    StaticBitmap2 = new wxStaticBitmap(Panel2, ID_STATICBITMAP2, wxNullBitmap, wxPoint(17, 18),
                                       wxDefaultSize, wxDOUBLE_BORDER, _T("ID_STATICBITMAP2"));
    StaticBitmap3 = new wxStaticBitmap(Panel2, ID_STATICBITMAP3, wxNullBitmap, wxPoint(17, 147),
                                       wxDefaultSize, wxDOUBLE_BORDER, _T("ID_STATICBITMAP3"));
    Panel3 = new wxPanel(Notebook1, ID_PANEL3, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
                         _T("ID_PANEL3"));
    StaticText3 = new wxStaticText(Panel3, ID_STATICTEXT3, tr(kInfoText), wxPoint(128, 168),
                                   wxDefaultSize, 0, _T("ID_STATICTEXT3"));
    StaticBitmap1 = new wxStaticBitmap(Panel3, ID_STATICBITMAP1, wxNullBitmap, wxPoint(64, 40),
                                       wxSize(105, 41), 0, _T("ID_STATICBITMAP1"));
    wxFont StaticBitmap1Font(16, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL,
                             false, wxString::FromUTF8("백묵 굴림"), wxFONTENCODING_DEFAULT);
    StaticBitmap1->SetFont(StaticBitmap1Font);
    Notebook1->AddPage(Panel1, tr("프로세스"), false);
    Notebook1->AddPage(Panel2, tr("성능"), false);
    Notebook1->AddPage(Panel3, tr("정보"), false);

    wxMenuBar* MenuBar1 = new wxMenuBar();
    wxMenu* Menu1 = new wxMenu();
    wxMenuItem* MenuItem1 =
        new wxMenuItem(Menu1, idMenuQuit, tr("종료\tAlt-F4"), wxEmptyString, wxITEM_NORMAL);
    Menu1->Append(MenuItem1);
    MenuBar1->Append(Menu1, tr("파일(&F)"));
    Menu3 = new wxMenu();
    MenuItem3 = new wxMenuItem(Menu3, idMenuUpdate, tr("지금 새로 고침 (&R)"), wxEmptyString,
                               wxITEM_NORMAL);
    Menu3->Append(MenuItem3);
    wxMenu* MenuItem4 = new wxMenu();
    MenuItem5 = new wxMenuItem(MenuItem4, idMenuUpdateSpeedHi, tr("빠름 (&H)"), wxEmptyString,
                               wxITEM_NORMAL);
    MenuItem4->Append(MenuItem5);
    MenuItem6 = new wxMenuItem(MenuItem4, idMenuUpdateSpeedMd, tr("중간 (&M)"), wxEmptyString,
                               wxITEM_NORMAL);
    MenuItem4->Append(MenuItem6);
    MenuItem7 = new wxMenuItem(MenuItem4, idMenuUpdateSpeedLw, tr("느림 (&L)"), wxEmptyString,
                               wxITEM_NORMAL);
    MenuItem4->Append(MenuItem7);
    MenuItem8 = new wxMenuItem(MenuItem4, idMenuUpdateRateStp, tr("일시 중지 (&S)"), wxEmptyString,
                               wxITEM_NORMAL);
    MenuItem4->Append(MenuItem8);
    Menu3->Append(ID_MENUITEM1, tr("업데이트 속도 (&U)"), MenuItem4, wxEmptyString);
    MenuBar1->Append(Menu3, tr("보기(&V)"));
    wxMenu* Menu2 = new wxMenu();
    wxMenuItem* MenuItem2 =
        new wxMenuItem(Menu2, idMenuAbout, tr("정보\tF1"), wxEmptyString, wxITEM_NORMAL);
    Menu2->Append(MenuItem2);
    MenuBar1->Append(Menu2, tr("도움말(&H)"));
    SetMenuBar(MenuBar1);

    StatusBar1 = new wxStatusBar(this, ID_STATUSBAR1, 0, _T("ID_STATUSBAR1"));
    int widths[1] = {-1};
    int styles[1] = {wxSB_NORMAL};
    StatusBar1->SetFieldsCount(1, widths);
    StatusBar1->SetStatusStyles(1, styles);
    SetStatusBar(StatusBar1);
    attachAccessibleStatusBar(StatusBar1);

    Timer1.SetOwner(this, ID_TIMER1);
    Timer1.Start(intervalMedium, false);

    Connect(ID_LISTCTRL1, wxEVT_COMMAND_LIST_ITEM_RIGHT_CLICK,
            wxListEventHandler(orvelFrame::OnListCtrl1ItemRClick));
    Connect(idMenuQuit, wxEVT_COMMAND_MENU_SELECTED, wxCommandEventHandler(orvelFrame::OnQuit));
    Connect(idMenuUpdate, wxEVT_COMMAND_MENU_SELECTED, wxCommandEventHandler(orvelFrame::OnUpdate));
    Connect(idMenuUpdateSpeedHi, wxEVT_COMMAND_MENU_SELECTED,
            wxCommandEventHandler(orvelFrame::OnUpdateSpeedHi));
    Connect(idMenuUpdateSpeedMd, wxEVT_COMMAND_MENU_SELECTED,
            wxCommandEventHandler(orvelFrame::OnUpdateSpeedMd));
    Connect(idMenuUpdateSpeedLw, wxEVT_COMMAND_MENU_SELECTED,
            wxCommandEventHandler(orvelFrame::OnUpdateSpeedLw));
    Connect(idMenuUpdateRateStp, wxEVT_COMMAND_MENU_SELECTED,
            wxCommandEventHandler(orvelFrame::OnUpdateStp));
    Connect(idMenuAbout, wxEVT_COMMAND_MENU_SELECTED, wxCommandEventHandler(orvelFrame::OnAbout));
    Connect(ID_TIMER1, wxEVT_TIMER, wxTimerEventHandler(orvelFrame::OnTimer1Trigger1));
    Connect(ID_NOTEBOOK1, wxEVT_COMMAND_NOTEBOOK_PAGE_CHANGED,
            wxNotebookEventHandler(orvelFrame::OnNotebook1PageChanged));

    procs = static_cast<PROC_t*>(calloc(1, sizeof(PROC_t)));

    ListCtrl1->InsertColumn(idPID, _T("PID"), wxLIST_FORMAT_LEFT, -1);
    ListCtrl1->InsertColumn(idCMD, _T("COMMAND"), wxLIST_FORMAT_LEFT, -1);
    ListCtrl1->InsertColumn(idUSR, _T("USER"), wxLIST_FORMAT_LEFT, -1);
    ListCtrl1->InsertColumn(idCPU, _T("%CPU"), wxLIST_FORMAT_LEFT, -1);
    ListCtrl1->InsertColumn(idMEM, _T("%MEM"), wxLIST_FORMAT_LEFT, -1);
    ListCtrl1->InsertColumn(idTME, _T("%TIME"), wxLIST_FORMAT_LEFT, -1);
    // The largest PID under systemd's pid_max, and 16 GB resident.
    ListCtrl1->SetColumnWidth(idPID, widthFor(_T("4194304"), 52));
    ListCtrl1->SetColumnWidth(idCMD, 164);
    ListCtrl1->SetColumnWidth(idUSR, 70);
    ListCtrl1->SetColumnWidth(idCPU, 50);
    ListCtrl1->SetColumnWidth(idMEM, widthFor(_T("16777216KB"), 70));

    // A missing or broken picture leaves its control empty, without a dialog.
    wxLogNull quiet;
    wxBitmap logo;
    if (logo.LoadFile(_T("talvik_temp.jpg"), wxBITMAP_TYPE_JPEG))
        StaticBitmap1->SetBitmap(logo);
    wxBitmap grid;
    if (grid.LoadFile(_T("grid.jpg"), wxBITMAP_TYPE_JPEG)) {
        StaticBitmap2->SetBitmap(grid);
        StaticBitmap3->SetBitmap(grid);
    }
}

orvelFrame::~orvelFrame() {
    // The list makes its texts from ps, a member that goes before the
    // toolkit destroys the children: the list must not outlive it.
    ListCtrl1->Destroy();
    cpus_release(cpus);
    mems_release(mems);
    free(procs);
}

int orvelFrame::widthFor(const wxString& widest, int least) const {
    // The list draws a cell's text in the column's width less 8 pixels and
    // cuts it with an ellipsis past that.
    return std::max(least, ListCtrl1->GetTextExtent(widest).GetWidth() + 8);
}

void orvelFrame::OnQuit(wxCommandEvent&) {
    Close(false);
}

void orvelFrame::OnAbout(wxCommandEvent&) {
    wxMessageBox(_T(ORVEL_VERSION_TEXT), wxGetTranslation(_T("About")), wxOK | wxCENTRE, nullptr,
                 -1, -1);
}

void orvelFrame::OnUpdate(wxCommandEvent&) {
    Timer1.Notify();
}

void orvelFrame::OnUpdateSpeedHi(wxCommandEvent&) {
    Timer1.Start(intervalFast, false);
}

void orvelFrame::OnUpdateSpeedMd(wxCommandEvent&) {
    Timer1.Start(intervalMedium, false);
}

void orvelFrame::OnUpdateSpeedLw(wxCommandEvent&) {
    Timer1.Start(intervalSlow, false);
}

void orvelFrame::OnUpdateStp(wxCommandEvent&) {
    Timer1.Stop();
}

void orvelFrame::OnListCtrl1ItemRClick(wxListEvent& event) {
    // A list without rows of its own leaves the event's text empty; a click
    // while no row has the focus comes first without a row.
    long row = event.GetIndex();
    if (row < 0 || row >= ListCtrl1->GetItemCount())
        return;
    wxString text = ListCtrl1->GetItemText(row, idPID);
    int pid = atoi(text.utf8_str());
    // 0 and negative IDs address whole process groups, ours among them.
    if (pid <= 0)
        return;
    // A pidfd holds the process it was opened for: taken before the check,
    // it cannot reach a process that takes the PID after the check. Without
    // one (an old kernel, no descriptor left) the check alone stands.
    // (Debian 12's libc declares its wrappers without C linkage.)
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0 && errno != ENOSYS && errno != EMFILE && errno != ENFILE && errno != ENOMEM)
        return; // no such process
    if (ps.holdsProcessNow(pid) &&
        (pidfd < 0 ||
         (syscall(SYS_pidfd_send_signal, pidfd, SIGTERM, nullptr, 0) != 0 && errno == ENOSYS)))
        kill(pid, SIGTERM);
    if (pidfd >= 0)
        close(pidfd);
}

void orvelFrame::OnTimer1Trigger1(wxTimerEvent&) {
    // A closed window is deleted when the event loop is next idle: on a
    // machine slow enough, ticks would keep coming first.
    if (wxTheApp && wxTheApp->IsScheduledForDestruction(this)) {
        Timer1.Stop();
        return;
    }
    // The timer's next tick is due one interval after the event loop
    // dispatched this one (GLib's time for it): after a cycle that outlasted
    // the interval it would come at once, before the window has drawn or
    // taken a key, and a closed window would never be deleted. Counted
    // again from the cycle's end, the window gets its time.
    GSource* dispatched = g_main_current_source();
    const gint64 started = dispatched ? g_source_get_time(dispatched) : g_get_monotonic_time();
    refreshCycle();
    const int interval = Timer1.GetInterval();
    if (Timer1.IsRunning() && g_get_monotonic_time() - started >= gint64(interval) * 1000)
        Timer1.Start(interval, false);
}

void orvelFrame::refreshCycle() {
    cpus = cpus_read(cpus);
    mems = mems_read(mems);
    showSummary();

    if (!procs)
        procs = static_cast<PROC_t*>(calloc(1, sizeof(PROC_t)));
    int numproc = 0;
    bool scanned = procs && scanProcesses(numproc);
    // A changed status text paints the window at once, with whatever else is
    // due: before the list changes, that is the bar alone.
    StatusBar1->SetStatusText(status_line(numproc, *cpus, *mems), 0);
    statusTextChanged(StatusBar1);
    // Rows of processes this scan did not see go, and with a good scan their
    // records too: the table holds only live processes.
    if (procs)
        ListCtrl1->sync(scanned, cpus->interval_ticks);
}

void orvelFrame::OnNotebook1PageChanged(wxNotebookEvent& event) {
    event.Skip();
    showSummary();
}

void orvelFrame::showSummary() {
    // A new label text makes GTK lay the window out again and the notebook
    // repaint its visible page, the whole process list: the texts are only
    // written while their page is shown, and brought up to date when it is.
    if (!cpus || !mems || Notebook1->GetCurrentPage() != Panel2)
        return;
    wxString cpu = cpu_text(*cpus);
    if (cpu != StaticText1->GetLabel())
        StaticText1->SetLabel(cpu);
    wxString mem = mem_text(*mems);
    if (mem != StaticText2->GetLabel())
        StaticText2->SetLabel(mem);
}

bool orvelFrame::scanProcesses(int& numproc) {
    procstat_follow_proc();
    DIR* dp = opendir("/proc/");
    if (!dp)
        return false;
    // The whole listing first: the table then knows how many files it may
    // hold for each process before it opens any.
    std::vector<std::pair<int, size_t>> entries; // PID, name's offset in names
    std::string names;
    while (struct dirent* item = readdir(dp)) {
        int pid = atoi(item->d_name);
        if (pid <= 0)
            continue;
        entries.emplace_back(pid, names.size());
        names.append(item->d_name).push_back('\0');
    }
    closedir(dp);
    numproc = static_cast<int>(entries.size());
    ps.expect(entries.size());
    for (const std::pair<int, size_t>& e : entries)
        ps.merge(e.first, names.c_str() + e.second, procs);
    return true;
}
