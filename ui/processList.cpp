#include "processList.h"

#include <wx/bookctrl.h>
#include <wx/time.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unistd.h>

#include "texts.h"

namespace {

// The keys of the context menu, the right-click's keys on the keyboard.
bool isMenuKey(int key, int modifiers) {
    return ((key == WXK_MENU || key == WXK_WINDOWS_MENU) && modifiers == wxMOD_NONE) ||
           (key == WXK_F10 && modifiers == wxMOD_SHIFT);
}

bool isMoveKey(int key) {
    return key == WXK_UP || key == WXK_DOWN || key == WXK_HOME || key == WXK_END ||
           key == WXK_PAGEUP || key == WXK_PAGEDOWN;
}

// Longer between two keys, and the second begins a new search text.
const unsigned kTypingPauseMs = 1000;

} // namespace

orvelList::orvelList(ProcessTable& ps, wxWindow* parent, wxWindowID id, const wxPoint& pos,
                     const wxSize& size, long style, const wxString& name)
    : wxListCtrl(parent, id, pos, size, style | wxLC_VIRTUAL, wxDefaultValidator, name), ps(ps),
      pagesize(sysconf(_SC_PAGESIZE)), clktck(sysconf(_SC_CLK_TCK)), sinceboot(0), shownTop(-1),
      typedAt(0), typedAtHere(0) {
    // The rows window hands its keys to the list first, characters too: a
    // character the list takes is not searched for by the toolkit.
    Bind(wxEVT_KEY_DOWN, &orvelList::OnKeyDown, this);
    Bind(wxEVT_CHAR, &orvelList::OnChar, this);
}

wxString orvelList::OnGetItemText(long item, long column) const {
    return cellText(item, column);
}

void orvelList::OnKeyDown(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    // Ctrl+Page keys turn the notebook's pages, as they do from its other
    // pages; a focused row would take them as Page keys.
    if ((key == WXK_PAGEUP || key == WXK_PAGEDOWN) && event.GetModifiers() == wxMOD_CONTROL)
        for (wxWindow* w = GetParent(); w; w = w->GetParent())
            if (auto* book = dynamic_cast<wxBookCtrlBase*>(w)) {
                book->AdvanceSelection(key == WXK_PAGEDOWN);
                return;
            }
    const long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
    // The rows window moves only from a focused row, which it gets when it
    // takes the keyboard focus with rows to show: when the focus came first
    // (the window shown before the first refresh), the first key lands on
    // the top row.
    if (row < 0 && isMoveKey(key) && event.GetModifiers() == wxMOD_NONE && GetItemCount() > 0) {
        const long state = wxLIST_STATE_FOCUSED | wxLIST_STATE_SELECTED;
        SetItemState(0, state, state);
        return;
    }
    if (!isMenuKey(key, event.GetModifiers())) {
        event.Skip();
        return;
    }
    // The keyboard's right-click: the focused row's, on its way to the same
    // handler as the mouse's.
    if (row < 0)
        return;
    wxListEvent click(wxEVT_LIST_ITEM_RIGHT_CLICK, GetId());
    click.SetEventObject(this);
    click.m_itemIndex = click.m_item.m_itemId = row;
    wxRect r;
    if (GetItemRect(row, r))
        click.SetPoint(r.GetPosition());
    GetEventHandler()->ProcessEvent(click);
}

void orvelList::OnChar(wxKeyEvent& event) {
    // Characters an input method composes come here too, one by one.
    const wxChar c = event.GetUnicodeKey();
    // Keys with Ctrl, Alt or Meta are commands (Alt+letters open the
    // menus); a space begins no name, and stays the list's own key then.
    if (is_control(c) || (event.GetModifiers() & ~wxMOD_SHIFT) || (c == ' ' && typed.empty())) {
        // Escape, a move key, any other key: a new text.
        typed.clear();
        event.Skip();
        return;
    }
    // The keys' own times, when both have one, tell the user's pause even
    // when the keys are handled late.
    const long at = event.GetTimestamp();
    const wxLongLong here = wxGetLocalTimeMillis();
    const bool paused = at && typedAt ? static_cast<uint32_t>(at - typedAt) > kTypingPauseMs
                                      : here - typedAtHere > kTypingPauseMs;
    typedAt = at;
    typedAtHere = here;
    if (paused)
        typed.clear();
    const long focused = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
    long row;
    if (typed.length() == 1 && typed[0] == c) {
        // The same character again: the next row that starts with it.
        row = findRow(typed, focused + 1);
    } else {
        row = findRow(typed + c, std::max(focused, 0L));
        // With no match the text stays what matched last.
        if (row >= 0)
            typed += c;
    }
    if (row < 0)
        return;
    // As an arrow key moves: the row alone selected and focused, in view.
    const long state = wxLIST_STATE_FOCUSED | wxLIST_STATE_SELECTED;
    if (row != focused || GetSelectedItemCount() != 1 ||
        !GetItemState(row, wxLIST_STATE_SELECTED)) {
        if (GetSelectedItemCount() > 0)
            SetItemState(-1, 0, wxLIST_STATE_SELECTED);
        SetItemState(row, state, state);
    }
    EnsureVisible(row);
}

long orvelList::findRow(const wxString& text, long from) const {
    const std::u32string folded = fold_case(text);
    bool digits = !text.empty();
    for (wxUniChar c : text)
        digits = digits && c >= '0' && c <= '9';
    const size_t count = rows.size();
    for (size_t i = 0; i < count; ++i) {
        const size_t row = (static_cast<size_t>(from) + i) % count;
        if (digits) {
            // As the PID cell shows it.
            char pid[16];
            const char* end = std::to_chars(pid, pid + sizeof pid, int(rows[row])).ptr;
            if (size_t(end - pid) >= folded.size() && std::equal(folded.begin(), folded.end(), pid))
                return static_cast<long>(row);
        }
        const PROC_t* r = ps.find(rows[row]);
        if (r && shown_name_starts_with(r->tcomm, folded))
            return static_cast<long>(row);
    }
    return -1;
}

wxString orvelList::cellText(long row, long column) const {
    if (row < 0 || static_cast<size_t>(row) >= rows.size())
        return wxString();
    if (column == idPID)
        return wxString::Format(_T("%d"), static_cast<int>(rows[row]));
    const PROC_t* r = ps.find(rows[row]);
    if (!r)
        return wxString();
    switch (column) {
    case idCMD:
        return name_cell(r->tcomm);
    case idUSR:
        return name_cell(r->username);
    case idCPU:
        return cpu_cell(r->cpu_usage);
    case idMEM:
        return mem_cell(r->rss, pagesize);
    case idTME:
        return time_cell(running_seconds(sinceboot, r->start_time, clktck));
    }
    return wxString();
}

size_t orvelList::rowKey(const PROC_t& r) const {
    char cpu[48];
    cpu_cell_text(r.cpu_usage, cpu);
    std::hash<std::string_view> text;
    // The running time shows hours and minutes only.
    const size_t parts[] = {
        size_t(r.pid),    text(r.tcomm),
        text(r.username), text(cpu),
        size_t(r.rss),    size_t(running_seconds(sinceboot, r.start_time, clktck) / 60)};
    size_t key = 0;
    for (size_t part : parts)
        key = key * 1000003 ^ part;
    return key;
}

void orvelList::sync(bool scanned, unsigned long long interval_ticks) {
    // Rows of processes this scan did not see go; the others keep their
    // order. moved: where each row goes, -1 when it goes.
    const size_t before = rows.size();
    std::vector<long> moved(before, -1);
    size_t kept = 0;
    for (size_t row = 0; row < before; ++row)
        if (ps.seen(rows[row])) {
            moved[row] = static_cast<long>(kept);
            rows[kept++] = rows[row];
        }
    rows.resize(kept);
    if (scanned)
        ps.sweep();

    sinceboot = gettimesinceboot();
    for (num pid : rows)
        close_interval(*ps.find(pid), interval_ticks);
    // Records still marked as seen have no row yet: theirs go on top, the
    // busiest first.
    std::vector<PROC_t*> fresh = ps.orderNewRows();
    rows.insert(rows.begin(), fresh.size(), 0);
    for (size_t i = 0; i < fresh.size(); ++i) {
        close_interval(*fresh[i], interval_ticks);
        rows[i] = fresh[i]->pid;
    }
    if (kept == before && fresh.empty()) {
        refreshChangedRows(false);
        return;
    }
    for (long& to : moved)
        if (to >= 0)
            to += static_cast<long>(fresh.size());
    refreshChangedRows(keepRowStates(moved));
}

bool orvelList::keepRowStates(const std::vector<long>& moved) {
    // The list keeps selection and focus by row number: they follow their
    // processes to their new rows, as they would follow rows inserted above
    // or deleted. A focused row that goes hands the focus to the next row
    // that stays, or the last.
    std::vector<long> selected;
    if (GetSelectedItemCount() > 0)
        for (long row = -1; (row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;)
            selected.push_back(row);
    long focused = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
    for (long row : selected)
        if (moved[row] != row)
            SetItemState(row, 0, wxLIST_STATE_SELECTED);
    // A new count has the whole list drawn anew once it is idle: set only
    // when it changed, else only the rows that changed are drawn.
    const bool counted = GetItemCount() != static_cast<long>(rows.size());
    if (counted)
        SetItemCount(static_cast<long>(rows.size()));
    for (long row : selected)
        if (moved[row] >= 0 && moved[row] != row)
            SetItemState(moved[row], wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    if (focused < 0 || rows.empty())
        return counted;
    long to = static_cast<long>(rows.size()) - 1;
    for (size_t row = static_cast<size_t>(focused); row < moved.size(); ++row)
        if (moved[row] >= 0) {
            to = moved[row];
            break;
        }
    if (to != focused)
        SetItemState(to, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    return counted;
}

void orvelList::refreshChangedRows(bool redrawn) {
    // redrawn: the whole list is drawn anew anyway.
    const long top = GetTopItem();
    const long end = std::min(static_cast<long>(rows.size()), top + GetCountPerPage() + 1);
    std::vector<size_t> keys;
    for (long row = std::max(top, 0L); row < end; ++row) {
        const PROC_t* r = ps.find(rows[row]);
        const size_t key = r ? rowKey(*r) : 0;
        const size_t at = static_cast<size_t>(row - top);
        if (!redrawn && (top != shownTop || at >= shownKeys.size() || shownKeys[at] != key))
            RefreshItem(row);
        keys.push_back(key);
    }
    shownTop = top;
    shownKeys.swap(keys);
}
