// The process list: the rows it shows, one process each, and what keeps
// them in line with the process table from one refresh to the next.
#ifndef ORVEL_PROCESSLIST_H
#define ORVEL_PROCESSLIST_H

#include <wx/listctrl.h>

#include <vector>

#include "process_table.h"

enum columntype { idPID = 0, idCMD = 1, idUSR = 2, idCPU = 3, idMEM = 4, idTME = 5 };

// The list holds no rows of its own: it asks for the texts of the rows it
// draws, made then from the table's records, so a refresh costs what the
// screen shows, not what the table holds. The Menu key and Shift+F10 act on
// the focused row as a right-click does; Ctrl+Page keys turn the pages.
// Typing finds a row by the start of its command name (or digits, of its
// PID), in place of the toolkit's search of the first column.
class orvelList : public wxListCtrl {
public:
    orvelList(ProcessTable& ps, wxWindow* parent, wxWindowID id, const wxPoint& pos,
              const wxSize& size, long style, const wxString& name);

    // Brings the rows in line with the table after a scan: rows of processes
    // the scan did not see go (and with a good scan their records), the
    // others keep their order, new processes come on top, the busiest
    // first. Selection and focus follow their processes.
    void sync(bool scanned, unsigned long long interval_ticks);

    // The text of a cell, made from the record of the row's process.
    wxString cellText(long row, long column) const;

private:
    wxString OnGetItemText(long item, long column) const override;
    void OnKeyDown(wxKeyEvent& event);
    void OnChar(wxKeyEvent& event);
    // The first row from row from on, wrapping, whose name starts with
    // text, or when text is digits, whose PID does.
    long findRow(const wxString& text, long from) const;
    // Says whether the count of rows changed, which has them all drawn.
    bool keepRowStates(const std::vector<long>& moved);
    void refreshChangedRows(bool redrawn);
    // What a row shows, as one number: the values its texts are made of.
    size_t rowKey(const PROC_t& r) const;

    ProcessTable& ps;
    std::vector<num> rows; // the process of each row, top first
    const long pagesize;
    const long clktck;
    long long sinceboot; // read once per refresh
    // What the rows on screen showed at the end of the last refresh, from
    // the top one: only those whose texts changed since are drawn again.
    long shownTop;
    std::vector<size_t> shownKeys;
    // The search text typed so far, and when its last key came: the key's
    // own time when it has one, and the clock's.
    wxString typed;
    long typedAt;
    wxLongLong typedAtHere;

    friend struct orvelFrameAccess; // the tests' window into the rows
};

#endif
