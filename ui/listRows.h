// Deleting rows of the report list without asking GTK to repaint a
// rectangle of negative height.
#ifndef LISTROWS_H
#define LISTROWS_H

#include <wx/listctrl.h>

#include <algorithm>
#include <vector>

// Deletes the given rows (in ascending order) of a report-view list; the
// rows left, their texts, data and selection, are those that DeleteItem on
// each, from the bottom up, leaves.
//
// wxWidgets 3.2.8's generic list repaints from a deleted row to the bottom
// of its window without looking whether the row is in the window at all:
// for a row below the window the rectangle's height is negative, and pixman
// says "*** BUG *** In pixman_region32_init_rect: Invalid rectangle passed".
// So no row below the window goes to DeleteItem: the rows that stay are
// moved up over the deleted ones, cell by cell, and as many rows are deleted
// at the last row that shows whole, whose repaint is in the window.
inline void deleteListRows(wxListCtrl* list, const std::vector<long>& rows) {
    if (rows.empty())
        return;
    const long count = list->GetItemCount();
    const int bottom = list->GetClientSize().y;
    long shown = list->GetTopItem(); // at or above the top is always safe
    wxRect r;
    while (shown + 1 < count && list->GetItemRect(shown + 1, r) && r.GetBottom() < bottom)
        ++shown;
    std::vector<long>::const_iterator below = std::upper_bound(rows.begin(), rows.end(), shown);
    const long gone = rows.end() - below;
    if (gone > 0) {
        // Row shown + k ends up holding what row shown + gone + k holds now.
        std::vector<long> stay;
        std::vector<long>::const_iterator next = below;
        for (long row = shown; row < count; ++row) {
            if (next != rows.end() && *next == row)
                ++next;
            else
                stay.push_back(row);
        }
        const int columns = list->GetColumnCount();
        // From the bottom up, so that no row is written before it is read.
        for (size_t k = stay.size(); k-- > 0;) {
            const long to = shown + gone + static_cast<long>(k), from = stay[k];
            if (to == from)
                continue;
            for (int c = 0; c < columns; ++c) {
                wxString text = list->GetItemText(from, c);
                if (list->GetItemText(to, c) != text)
                    list->SetItem(to, c, text);
            }
            list->SetItemPtrData(to, list->GetItemData(from));
            const long mask = wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED;
            const long state = list->GetItemState(from, mask);
            if (list->GetItemState(to, mask) != state)
                list->SetItemState(to, state, mask);
        }
        for (long k = 0; k < gone; ++k)
            list->DeleteItem(shown);
    }
    while (below != rows.begin())
        list->DeleteItem(*--below);
}

#endif
