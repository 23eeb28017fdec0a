#include "accessible.h"

#include <wx/listctrl.h>
#include <wx/statusbr.h>
#include <wx/toplevel.h>

#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// At most this many cells are kept for clients that ask again; the rest are
// made when asked and live only as long as a client holds them.
const size_t kKeptCells = 64;

struct OrvelCell;

// What the table knows of the list; list and rows are null once detached.
struct TableState {
    wxListCtrl* list = nullptr;
    wxWindow* rowsWindow = nullptr;
    GtkWidget* rows = nullptr;
    std::vector<OrvelCell*> kept; // most recently asked last
    std::vector<AtkObject*> headers;
    OrvelCell* focus = nullptr;
    wxString focusKey;        // the PID text of the focused row
    bool rowsFocused = false; // as last told
};

struct OrvelTable {
    GtkContainerAccessible parent;
    TableState* state;
};
struct OrvelTableClass {
    GtkContainerAccessibleClass parent_class;
};

// A cell, or a column header when row is -1. It holds its table and its
// place, never a window: clients may keep it after the list is gone.
struct OrvelCell {
    AtkObject parent;
    long row;
    int col;
    bool focused;
    gchar* text;
};
struct OrvelCellClass {
    AtkObjectClass parent_class;
};

void orvel_table_table_init(AtkTableIface* iface);
void orvel_table_selection_init(AtkSelectionIface* iface);
void orvel_cell_component_init(AtkComponentIface* iface);
void orvel_cell_table_cell_init(AtkTableCellIface* iface);

G_DEFINE_TYPE_WITH_CODE(OrvelTable, orvel_table, GTK_TYPE_CONTAINER_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TABLE, orvel_table_table_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_SELECTION, orvel_table_selection_init))
G_DEFINE_TYPE_WITH_CODE(OrvelCell, orvel_cell, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, orvel_cell_component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_TABLE_CELL, orvel_cell_table_cell_init))

OrvelTable* tableOf(gpointer p) {
    return G_TYPE_CHECK_INSTANCE_CAST(p, orvel_table_get_type(), OrvelTable);
}
OrvelCell* cellOf(gpointer p) {
    return G_TYPE_CHECK_INSTANCE_CAST(p, orvel_cell_get_type(), OrvelCell);
}

// The list while it is attached and not being destroyed: past the start of
// its destructor its texts are no longer the rows'.
wxListCtrl* listOf(OrvelTable* t) {
    wxListCtrl* list = t->state->list;
    return list && !list->IsBeingDeleted() ? list : nullptr;
}

TableState* stateOfCell(OrvelCell* c) {
    AtkObject* parent = ATK_OBJECT(c)->accessible_parent;
    return parent ? tableOf(parent)->state : nullptr;
}

wxListCtrl* listOfCell(OrvelCell* c) {
    AtkObject* parent = ATK_OBJECT(c)->accessible_parent;
    return parent ? listOf(tableOf(parent)) : nullptr;
}

long rowCount(wxListCtrl* list) {
    return list ? list->GetItemCount() : 0;
}
int columnCount(wxListCtrl* list) {
    return list ? list->GetColumnCount() : 0;
}

bool inTable(wxListCtrl* list, long row, int col) {
    return row >= 0 && row < rowCount(list) && col >= 0 && col < columnCount(list);
}

// ---- cells

AtkObject* newCell(OrvelTable* t, long row, int col) {
    OrvelCell* c = cellOf(g_object_new(orvel_cell_get_type(), nullptr));
    c->row = row;
    c->col = col;
    AtkObject* o = ATK_OBJECT(c);
    atk_object_set_parent(o, ATK_OBJECT(t));
    o->role = row < 0 ? ATK_ROLE_TABLE_COLUMN_HEADER : ATK_ROLE_TABLE_CELL;
    return o;
}

void orvel_cell_init(OrvelCell* c) {
    c->row = -1;
    c->col = 0;
    c->focused = false;
    c->text = nullptr;
}

void cellFinalize(GObject* o) {
    g_free(cellOf(o)->text);
    G_OBJECT_CLASS(orvel_cell_parent_class)->finalize(o);
}

const gchar* cellName(AtkObject* o) {
    OrvelCell* c = cellOf(o);
    // Detached, a cell keeps the last text it gave.
    if (wxListCtrl* list = listOfCell(c)) {
        wxString text;
        if (c->row < 0 && c->col < columnCount(list)) {
            wxListItem item;
            item.SetMask(wxLIST_MASK_TEXT);
            if (list->GetColumn(c->col, item))
                text = item.GetText();
        } else if (inTable(list, c->row, c->col)) {
            text = list->GetItemText(c->row, c->col);
        }
        g_free(c->text);
        c->text = g_strdup(text.utf8_str());
    }
    return c->text ? c->text : "";
}

gint cellIndex(AtkObject* o) {
    OrvelCell* c = cellOf(o);
    return c->row < 0 ? -1 : static_cast<gint>(c->row * columnCount(listOfCell(c)) + c->col);
}

AtkStateSet* cellStates(AtkObject* o) {
    OrvelCell* c = cellOf(o);
    AtkStateSet* set = atk_state_set_new();
    wxListCtrl* list = listOfCell(c);
    if (!list || (c->row >= 0 && !inTable(list, c->row, c->col))) {
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
        return set;
    }
    const AtkStateType always[] = {ATK_STATE_ENABLED,   ATK_STATE_SENSITIVE, ATK_STATE_VISIBLE,
                                   ATK_STATE_TRANSIENT, ATK_STATE_FOCUSABLE, ATK_STATE_SELECTABLE};
    atk_state_set_add_states(set, const_cast<AtkStateType*>(always), G_N_ELEMENTS(always));
    const long top = list->GetTopItem();
    if (c->row < 0 || (c->row >= top && c->row <= top + list->GetCountPerPage()))
        atk_state_set_add_state(set, ATK_STATE_SHOWING);
    if (c->row >= 0 && list->GetItemState(c->row, wxLIST_STATE_SELECTED))
        atk_state_set_add_state(set, ATK_STATE_SELECTED);
    if (c->focused) {
        atk_state_set_add_state(set, ATK_STATE_FOCUSED);
        atk_state_set_add_state(set, ATK_STATE_ACTIVE);
    }
    return set;
}

void orvel_cell_class_init(OrvelCellClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = cellFinalize;
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = cellName;
    atk->get_index_in_parent = cellIndex;
    atk->ref_state_set = cellStates;
}

// The cell's rectangle on screen, or relative to the window or the table.
void cellExtents(AtkComponent* component, gint* x, gint* y, gint* w, gint* h, AtkCoordType type) {
    *x = *y = *w = *h = 0;
    OrvelCell* c = cellOf(component);
    wxListCtrl* list = listOfCell(c);
    wxRect r;
    if (!inTable(list, c->row, c->col) || !list->GetSubItemRect(c->row, c->col, r))
        return;
    wxPoint at = list->ClientToScreen(r.GetTopLeft());
    if (type == ATK_XY_WINDOW)
        at -= wxGetTopLevelParent(list)->GetScreenPosition();
    else if (type == ATK_XY_PARENT)
        at -= stateOfCell(c)->rowsWindow->GetScreenPosition();
    *x = at.x;
    *y = at.y;
    *w = r.width;
    *h = r.height;
}

// A client moves the focus to a row as the arrow keys do.
gboolean cellGrabFocus(AtkComponent* component) {
    OrvelCell* c = cellOf(component);
    wxListCtrl* list = listOfCell(c);
    if (!inTable(list, c->row, c->col))
        return FALSE;
    list->SetItemState(c->row, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    list->EnsureVisible(c->row);
    stateOfCell(c)->rowsWindow->SetFocus();
    return TRUE;
}

void orvel_cell_component_init(AtkComponentIface* iface) {
    iface->get_extents = cellExtents;
    iface->grab_focus = cellGrabFocus;
}

AtkObject* columnHeader(OrvelTable* t, int col);

GPtrArray* cellHeaders(AtkTableCell* cell) {
    GPtrArray* headers = g_ptr_array_new_with_free_func(g_object_unref);
    OrvelCell* c = cellOf(cell);
    AtkObject* parent = ATK_OBJECT(c)->accessible_parent;
    if (AtkObject* h = parent && c->row >= 0 ? columnHeader(tableOf(parent), c->col) : nullptr)
        g_ptr_array_add(headers, g_object_ref(h));
    return headers;
}

GPtrArray* noHeaders(AtkTableCell*) {
    return g_ptr_array_new_with_free_func(g_object_unref);
}

gboolean cellPosition(AtkTableCell* cell, gint* row, gint* col) {
    OrvelCell* c = cellOf(cell);
    *row = static_cast<gint>(c->row);
    *col = c->col;
    return c->row >= 0;
}

gboolean cellSpan(AtkTableCell* cell, gint* row, gint* col, gint* rows, gint* cols) {
    *rows = *cols = 1;
    return cellPosition(cell, row, col);
}

gint one(AtkTableCell*) {
    return 1;
}

AtkObject* cellTable(AtkTableCell* cell) {
    AtkObject* parent = ATK_OBJECT(cell)->accessible_parent;
    return parent ? ATK_OBJECT(g_object_ref(parent)) : nullptr;
}

void orvel_cell_table_cell_init(AtkTableCellIface* iface) {
    iface->get_column_header_cells = cellHeaders;
    iface->get_row_header_cells = noHeaders;
    iface->get_position = cellPosition;
    iface->get_row_column_span = cellSpan;
    iface->get_column_span = one;
    iface->get_row_span = one;
    iface->get_table = cellTable;
}

// ---- the table

// A new reference to the cell at (row, col), kept for the next ask.
AtkObject* refCell(OrvelTable* t, long row, int col) {
    if (!inTable(listOf(t), row, col))
        return nullptr;
    std::vector<OrvelCell*>& kept = t->state->kept;
    auto at = std::find_if(kept.begin(), kept.end(),
                           [&](OrvelCell* c) { return c->row == row && c->col == col; });
    OrvelCell* c;
    if (at != kept.end()) {
        c = *at;
        kept.erase(at);
    } else {
        c = cellOf(newCell(t, row, col));
        if (kept.size() >= kKeptCells) {
            g_object_unref(kept.front());
            kept.erase(kept.begin());
        }
    }
    kept.push_back(c);
    return ATK_OBJECT(g_object_ref(c));
}

AtkObject* columnHeader(OrvelTable* t, int col) {
    std::vector<AtkObject*>& headers = t->state->headers;
    if (col < 0 || col >= columnCount(listOf(t)))
        return nullptr;
    if (headers.size() <= static_cast<size_t>(col))
        headers.resize(col + 1, nullptr);
    if (!headers[col])
        headers[col] = newCell(t, -1, col);
    return headers[col];
}

void orvel_table_init(OrvelTable* t) {
    t->state = new TableState;
}

void tableFinalize(GObject* o) {
    delete tableOf(o)->state;
    G_OBJECT_CLASS(orvel_table_parent_class)->finalize(o);
}

void tableInitialize(AtkObject* o, gpointer widget) {
    ATK_OBJECT_CLASS(orvel_table_parent_class)->initialize(o, widget);
    o->role = ATK_ROLE_TABLE;
}

gint tableChildren(AtkObject* o) {
    wxListCtrl* list = listOf(tableOf(o));
    return static_cast<gint>(rowCount(list) * columnCount(list));
}

AtkObject* tableChild(AtkObject* o, gint i) {
    const int cols = columnCount(listOf(tableOf(o)));
    return cols > 0 && i >= 0 ? refCell(tableOf(o), i / cols, i % cols) : nullptr;
}

AtkStateSet* tableStates(AtkObject* o) {
    AtkStateSet* set = ATK_OBJECT_CLASS(orvel_table_parent_class)->ref_state_set(o);
    atk_state_set_add_state(set, ATK_STATE_MANAGES_DESCENDANTS);
    wxListCtrl* list = listOf(tableOf(o));
    if (list && !list->HasFlag(wxLC_SINGLE_SEL))
        atk_state_set_add_state(set, ATK_STATE_MULTISELECTABLE);
    return set;
}

void orvel_table_class_init(OrvelTableClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = tableFinalize;
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->initialize = tableInitialize;
    atk->get_n_children = tableChildren;
    atk->ref_child = tableChild;
    atk->ref_state_set = tableStates;
}

AtkObject* tableRefAt(AtkTable* t, gint row, gint col) {
    return refCell(tableOf(t), row, col);
}
gint tableIndexAt(AtkTable* t, gint row, gint col) {
    return inTable(listOf(tableOf(t)), row, col) ? row * columnCount(listOf(tableOf(t))) + col : -1;
}
gint tableColumnAt(AtkTable* t, gint i) {
    const int cols = columnCount(listOf(tableOf(t)));
    return cols > 0 && i >= 0 ? i % cols : -1;
}
gint tableRowAt(AtkTable* t, gint i) {
    const int cols = columnCount(listOf(tableOf(t)));
    return cols > 0 && i >= 0 ? i / cols : -1;
}
gint tableColumns(AtkTable* t) {
    return columnCount(listOf(tableOf(t)));
}
gint tableRows(AtkTable* t) {
    return static_cast<gint>(rowCount(listOf(tableOf(t))));
}
gint tableSpan(AtkTable*, gint, gint) {
    return 1;
}
AtkObject* tableHeader(AtkTable* t, gint col) {
    return columnHeader(tableOf(t), col);
}
const gchar* tableColumnDescription(AtkTable* t, gint col) {
    AtkObject* h = columnHeader(tableOf(t), col);
    return h ? atk_object_get_name(h) : nullptr;
}

bool rowSelected(wxListCtrl* list, long row) {
    return row >= 0 && row < rowCount(list) && list->GetItemState(row, wxLIST_STATE_SELECTED);
}

// The selected rows, top first.
std::vector<long> selectedRows(wxListCtrl* list) {
    std::vector<long> rows;
    if (list && list->GetSelectedItemCount() > 0)
        for (long row = -1;
             (row = list->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;)
            rows.push_back(row);
    return rows;
}

bool selectRow(wxListCtrl* list, long row, bool on) {
    if (row < 0 || row >= rowCount(list))
        return false;
    list->SetItemState(row, on ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
    return true;
}

gint tableSelectedRows(AtkTable* t, gint** out) {
    std::vector<long> rows = selectedRows(listOf(tableOf(t)));
    if (out) {
        *out = rows.empty() ? nullptr : g_new(gint, rows.size());
        std::copy(rows.begin(), rows.end(), *out);
    }
    return static_cast<gint>(rows.size());
}
gint noColumns(AtkTable*, gint** out) {
    if (out)
        *out = nullptr;
    return 0;
}
gboolean tableRowSelected(AtkTable* t, gint row) {
    return rowSelected(listOf(tableOf(t)), row);
}
gboolean tableCellSelected(AtkTable* t, gint row, gint) {
    return rowSelected(listOf(tableOf(t)), row);
}
gboolean tableAddRow(AtkTable* t, gint row) {
    return selectRow(listOf(tableOf(t)), row, true);
}
gboolean tableRemoveRow(AtkTable* t, gint row) {
    return selectRow(listOf(tableOf(t)), row, false);
}

void orvel_table_table_init(AtkTableIface* iface) {
    iface->ref_at = tableRefAt;
    iface->get_index_at = tableIndexAt;
    iface->get_column_at_index = tableColumnAt;
    iface->get_row_at_index = tableRowAt;
    iface->get_n_columns = tableColumns;
    iface->get_n_rows = tableRows;
    iface->get_column_extent_at = tableSpan;
    iface->get_row_extent_at = tableSpan;
    iface->get_column_header = tableHeader;
    iface->get_column_description = tableColumnDescription;
    iface->get_selected_rows = tableSelectedRows;
    iface->get_selected_columns = noColumns;
    iface->is_row_selected = tableRowSelected;
    iface->is_selected = tableCellSelected;
    iface->add_row_selection = tableAddRow;
    iface->remove_row_selection = tableRemoveRow;
}

// Selection by child: a child stands for its row, as in GTK's tree view.
gboolean selectionAdd(AtkSelection* s, gint i) {
    return selectRow(listOf(tableOf(s)), tableRowAt(ATK_TABLE(s), i), true);
}
gboolean selectionClear(AtkSelection* s) {
    wxListCtrl* list = listOf(tableOf(s));
    for (long row : selectedRows(list))
        selectRow(list, row, false);
    return list != nullptr;
}
AtkObject* selectionRef(AtkSelection* s, gint i) {
    std::vector<long> rows = selectedRows(listOf(tableOf(s)));
    return i >= 0 && static_cast<size_t>(i) < rows.size() ? refCell(tableOf(s), rows[i], 0)
                                                          : nullptr;
}
gint selectionCount(AtkSelection* s) {
    wxListCtrl* list = listOf(tableOf(s));
    return list ? list->GetSelectedItemCount() : 0;
}
gboolean selectionHas(AtkSelection* s, gint i) {
    return rowSelected(listOf(tableOf(s)), tableRowAt(ATK_TABLE(s), i));
}
gboolean selectionRemove(AtkSelection* s, gint i) {
    std::vector<long> rows = selectedRows(listOf(tableOf(s)));
    return i >= 0 && static_cast<size_t>(i) < rows.size() &&
           selectRow(listOf(tableOf(s)), rows[i], false);
}
gboolean selectionAll(AtkSelection* s) {
    wxListCtrl* list = listOf(tableOf(s));
    if (!list || list->HasFlag(wxLC_SINGLE_SEL))
        return false;
    for (long row = 0; row < rowCount(list); ++row)
        selectRow(list, row, true);
    return true;
}

void orvel_table_selection_init(AtkSelectionIface* iface) {
    iface->add_selection = selectionAdd;
    iface->clear_selection = selectionClear;
    iface->ref_selection = selectionRef;
    iface->get_selection_count = selectionCount;
    iface->is_child_selected = selectionHas;
    iface->remove_selection = selectionRemove;
    iface->select_all_selection = selectionAll;
}

// ---- focus, as GTK's tree view tells it: the focused row's first cell is
// the active descendant, focused while the rows window has the keyboard.

void setFocused(OrvelCell* c, bool on) {
    if (c->focused == on)
        return;
    c->focused = on;
    atk_object_notify_state_change(ATK_OBJECT(c), ATK_STATE_FOCUSED, on);
}

void announceFocus(OrvelTable* t) {
    TableState* s = t->state;
    if (gtk_widget_has_focus(s->rows))
        setFocused(s->focus, true);
    g_signal_emit_by_name(t, "active-descendant-changed", s->focus);
}

void focusMoved(OrvelTable* t, long row) {
    TableState* s = t->state;
    wxListCtrl* list = listOf(t);
    if (!inTable(list, row, 0))
        return;
    const wxString key = list->GetItemText(row, 0);
    if (s->focus && key == s->focusKey) {
        // Rows came or went above: the focus stays on its process, its
        // cells move with it, the others no longer show what they did.
        const long from = s->focus->row;
        if (row == from)
            return;
        std::vector<OrvelCell*> moved;
        for (OrvelCell* c : s->kept)
            if (c->row == from) {
                c->row = row;
                moved.push_back(c);
            } else {
                g_object_unref(c);
            }
        s->kept.swap(moved);
        s->focus->row = row;
        return;
    }
    if (s->focus) {
        setFocused(s->focus, false);
        g_object_unref(s->focus);
    }
    s->focus = cellOf(refCell(t, row, 0));
    s->focusKey = key;
    announceFocus(t);
}

// Followed through the property, not the focus events: the window's own
// handlers stop those before any the table connects. The property is told
// again on each grab, changed or not.
void rowsFocusChanged(GtkWidget* rows, GParamSpec*, gpointer table) {
    OrvelTable* t = tableOf(table);
    TableState* s = t->state;
    const bool focused = gtk_widget_has_focus(rows);
    if (focused == s->rowsFocused)
        return;
    s->rowsFocused = focused;
    if (!focused) {
        if (s->focus)
            setFocused(s->focus, false);
    } else if (s->focus) {
        announceFocus(t);
    } else if (wxListCtrl* list = listOf(t)) {
        focusMoved(t, list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED));
    }
}

// ---- attaching

GQuark tableQuark() {
    static GQuark q = g_quark_from_static_string("orvel-accessible-table");
    return q;
}

AtkObject* (*keptGetAccessible)(GtkWidget*) = nullptr;

// The class entry that GTK asks for any widget's accessible: the marked rows
// window gets its table, every other widget what it got before.
AtkObject* markedGetAccessible(GtkWidget* widget) {
    if (gpointer table = g_object_get_qdata(G_OBJECT(widget), tableQuark()))
        return ATK_OBJECT(table);
    return keptGetAccessible(widget);
}

// Lets go of the list for good: the cells clients still hold answer as
// defunct, and the table lives as long as they do.
void detach(OrvelTable* t) {
    TableState* s = t->state;
    if (!s->rows)
        return;
    g_signal_handlers_disconnect_matched(s->rows, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, t);
    g_object_set_qdata(G_OBJECT(s->rows), tableQuark(), nullptr);
    s->list = nullptr;
    s->rowsWindow = nullptr;
    s->rows = nullptr;
    for (OrvelCell* c : s->kept)
        g_object_unref(c);
    s->kept.clear();
    for (AtkObject* h : s->headers)
        if (h)
            g_object_unref(h);
    s->headers.clear();
    if (s->focus)
        g_object_unref(s->focus);
    s->focus = nullptr;
    g_object_unref(t); // the rows window's reference
}

void rowsDestroyed(GtkWidget*, gpointer table) {
    detach(tableOf(table));
}

// The list's events reach the table through a reference of their own, so the
// table outlives every handler the list still has.
class ListEvents {
public:
    ListEvents(OrvelTable* t, void (*what)(OrvelTable*, wxEvent&)) : t_(t), what_(what) {
        g_object_ref(t_);
    }
    ListEvents(const ListEvents& o) : t_(o.t_), what_(o.what_) { g_object_ref(t_); }
    ListEvents& operator=(const ListEvents&) = delete;
    ~ListEvents() { g_object_unref(t_); }
    void operator()(wxEvent& e) const {
        e.Skip();
        what_(t_, e);
    }

private:
    OrvelTable* t_;
    void (*what_)(OrvelTable*, wxEvent&);
};

void onFocused(OrvelTable* t, wxEvent& e) {
    focusMoved(t, static_cast<wxListEvent&>(e).GetIndex());
}

void onSelection(OrvelTable* t, wxEvent&) {
    if (listOf(t))
        g_signal_emit_by_name(t, "selection-changed");
}

void onListDestroyed(OrvelTable* t, wxEvent& e) {
    if (e.GetEventObject() == t->state->list)
        detach(t);
}

// The rows window is the list's child that takes the keyboard: not the
// header.
wxWindow* rowsWindowOf(wxListCtrl* list) {
    for (wxWindow* child : list->GetChildren())
        if (child->AcceptsFocus())
            return child;
    return nullptr;
}

} // namespace

void attachAccessibleTable(wxListCtrl* list, const wxString& name) {
    wxWindow* rowsWindow = rowsWindowOf(list);
    GtkWidget* rows = rowsWindow ? GTK_WIDGET(rowsWindow->GetHandle()) : nullptr;
    if (!rows || g_object_get_qdata(G_OBJECT(rows), tableQuark()))
        return;
    GtkWidgetClass* klass = GTK_WIDGET_GET_CLASS(rows);
    if (klass->get_accessible != markedGetAccessible) {
        keptGetAccessible = klass->get_accessible;
        klass->get_accessible = markedGetAccessible;
    }
    OrvelTable* t = tableOf(g_object_new(orvel_table_get_type(), "widget", rows, nullptr));
    t->state->list = list;
    t->state->rowsWindow = rowsWindow;
    t->state->rows = rows;
    g_object_set_qdata(G_OBJECT(rows), tableQuark(), t);
    atk_object_initialize(ATK_OBJECT(t), rows);
    atk_object_set_name(ATK_OBJECT(t), name.utf8_str());
    g_signal_connect(rows, "notify::has-focus", G_CALLBACK(rowsFocusChanged), t);
    g_signal_connect(rows, "destroy", G_CALLBACK(rowsDestroyed), t);
    list->Bind(wxEVT_LIST_ITEM_FOCUSED, ListEvents(t, onFocused));
    list->Bind(wxEVT_LIST_ITEM_SELECTED, ListEvents(t, onSelection));
    list->Bind(wxEVT_LIST_ITEM_DESELECTED, ListEvents(t, onSelection));
    list->Bind(wxEVT_DESTROY, ListEvents(t, onListDestroyed));
}

namespace {

AtkObject* accessibleOf(wxStatusBar* bar) {
    return gtk_widget_get_accessible(GTK_WIDGET(bar->GetHandle()));
}

} // namespace

void attachAccessibleStatusBar(wxStatusBar* bar) {
    atk_object_set_role(accessibleOf(bar), ATK_ROLE_STATUSBAR);
    statusTextChanged(bar);
}

void statusTextChanged(wxStatusBar* bar) {
    AtkObject* a = accessibleOf(bar);
    // The buffer lives only as long as the string it was made from.
    const wxString status = bar->GetStatusText(0);
    const wxScopedCharBuffer text = status.utf8_str();
    const gchar* was = atk_object_get_name(a);
    if (!was || strcmp(was, text.data()) != 0)
        atk_object_set_name(a, text.data());
}
