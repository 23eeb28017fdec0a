// The window through the accessibility bus, as a screen reader reads it.
#include "children.h"
#include "drivers.h"
#include "wait_for.h"

#include <atspi/atspi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string nameOf(AtspiAccessible* a) {
    gchar* n = a ? atspi_accessible_get_name(a, nullptr) : nullptr;
    std::string s = n ? n : "";
    g_free(n);
    return s;
}

// The first object of role (and name) under a, not looking into tables.
AtspiAccessible* find(AtspiAccessible* a, AtspiRole role, const std::string& name = "") {
    if (atspi_accessible_get_role(a, nullptr) == role && (name.empty() || nameOf(a) == name))
        return ATSPI_ACCESSIBLE(g_object_ref(a));
    AtspiAccessible* found = nullptr;
    for (int i = 0; !found && role != ATSPI_ROLE_TABLE_CELL &&
                    atspi_accessible_get_role(a, nullptr) != ATSPI_ROLE_TABLE &&
                    i < atspi_accessible_get_child_count(a, nullptr);
         ++i)
        if (AtspiAccessible* c = atspi_accessible_get_child_at_index(a, i, nullptr)) {
            found = find(c, role, name);
            g_object_unref(c);
        }
    return found;
}

// What the window printed after its last cycle: the rows of the test's
// children by PID, their numbers first.
struct Cycle {
    std::string id, status;
    std::map<std::string, std::vector<std::string>> rows;
    long row(pid_t pid) const {
        auto at = rows.find(std::to_string(pid));
        return at == rows.end() ? -1 : std::stol(at->second[0]);
    }
};

Cycle lastCycle(const DriverRun& run) {
    std::string line;
    for (const std::string& l : linesStarting(run.out(), "cycle "))
        line = l;
    std::istringstream s(line);
    std::vector<std::string> f;
    for (std::string field; std::getline(s, field, '\x1f');)
        f.push_back(field);
    Cycle c;
    for (size_t i = 2; i + 7 <= f.size(); i += 7)
        c.rows[f[i + 1]].assign(f.begin() + i, f.begin() + i + 7);
    c.id = f.empty() ? "" : f[0];
    c.status = f.size() > 1 ? f[1] : "";
    return c;
}

struct Told {
    std::string type;
    AtspiAccessible* source;
    AtspiAccessible* what; // the active descendant
};

const char* const kTypes[] = {"object:active-descendant-changed", "object:selection-changed",
                              "object:property-change:accessible-name"};

class A11y : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kid.ok());
        ASSERT_TRUE(window.start({ORVEL_A11Y_WINDOW}));
        atspi_init();
        // The window's table, once the first cycle has filled it.
        ASSERT_TRUE(waitFor(
            [&] {
                AtspiAccessible* desktop = atspi_get_desktop(0);
                for (int i = 0; !table && i < atspi_accessible_get_child_count(desktop, nullptr);
                     ++i) {
                    app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
                    if (app && nameOf(app) == "orvel_a11y_window")
                        table = find(app, ATSPI_ROLE_TABLE);
                }
                g_object_unref(desktop);
                return table && lastCycle(window).row(kid.pid()) >= 0;
            },
            20000));
        listener = atspi_event_listener_new(
            [](AtspiEvent* e, void* told) {
                AtspiAccessible* what = G_VALUE_HOLDS_OBJECT(&e->any_data)
                                            ? ATSPI_ACCESSIBLE(g_value_dup_object(&e->any_data))
                                            : nullptr;
                static_cast<std::vector<Told>*>(told)->push_back({e->type, e->source, what});
                g_boxed_free(ATSPI_TYPE_EVENT, e);
            },
            &told, nullptr);
        for (const char* type : kTypes)
            atspi_event_listener_register(listener, type, nullptr);
    }
    void TearDown() override {
        for (const char* type : kTypes)
            atspi_event_listener_deregister(listener, type, nullptr);
        close();
        window.signal(SIGTERM);
        EXPECT_TRUE(window.wait(30) && window.exitedWithZero()) << window.out() << window.err();
    }
    // Closes the window through its menu, as a user does.
    void close() {
        AtspiAccessible* quit = app ? find(app, ATSPI_ROLE_MENU_ITEM, "종료") : nullptr;
        if (quit && atspi_action_do_action(ATSPI_ACTION(quit), 0, nullptr))
            waitFor([&] { return !linesStarting(window.out(), "closed").empty(); }, 20000);
    }
    // Runs read on the last cycle's rows until it holds with no cycle run
    // meanwhile.
    bool betweenCycles(const std::function<bool(const Cycle&)>& read) {
        return waitFor(
            [&] {
                Cycle before = lastCycle(window);
                return read(before) && lastCycle(window).id == before.id;
            },
            30000);
    }
    bool focus(pid_t pid) {
        return betweenCycles([&](const Cycle& c) {
            return c.row(pid) >= 0 &&
                   atspi_component_grab_focus(ATSPI_COMPONENT(atspi_table_get_accessible_at(
                                                  ATSPI_TABLE(table), c.row(pid), 0, nullptr)),
                                              nullptr);
        });
    }
    // The first active descendant told from here on that shows pid.
    AtspiAccessible* focusTold(pid_t pid) {
        AtspiAccessible* cell = nullptr;
        bool heard = toldUntil([&](const Told& t) {
            return t.type == "object:active-descendant-changed" &&
                   nameOf(cell = t.what) == std::to_string(pid);
        });
        return heard ? cell : nullptr;
    }
    std::string cell(long row, int col) {
        return nameOf(atspi_table_get_accessible_at(ATSPI_TABLE(table), row, col, nullptr));
    }
    AtspiTable* grid() const { return ATSPI_TABLE(table); }
    static bool has(AtspiAccessible* a, AtspiStateType state) {
        return a && atspi_state_set_contains(atspi_accessible_get_state_set(a), state);
    }
    bool toldUntil(const std::function<bool(const Told&)>& what) {
        return waitFor(
            [&] {
                while (g_main_context_iteration(nullptr, FALSE)) {
                }
                return std::any_of(told.begin(), told.end(), what);
            },
            20000);
    }

    Child kid{[] {
        ChildOptions o;
        o.name = "a11y\tkid";
        return o;
    }()};
    DriverRun window{"a11y-window"};
    AtspiAccessible* app = nullptr;
    AtspiAccessible* table = nullptr;
    AtspiEventListener* listener = nullptr;
    std::vector<Told> told;
};

TEST_F(A11y, TheListIsATableOfItsTextsTheStatusLineAStatusBarAndClosingLeavesCellsDefunct) {
    EXPECT_EQ(nameOf(table), "프로세스");
    ASSERT_EQ(atspi_table_get_n_columns(ATSPI_TABLE(table), nullptr), 6);
    std::string headers;
    for (int col = 0; col < 6; ++col)
        headers += nameOf(atspi_table_get_column_header(ATSPI_TABLE(table), col, nullptr)) + " ";
    EXPECT_EQ(headers, "PID COMMAND USER %CPU %MEM %TIME ");
    // The cells read between two cycles are the texts the list showed.
    std::vector<std::string> shown, drawn;
    ASSERT_TRUE(betweenCycles([&](const Cycle& c) {
        shown = {std::to_string(c.row(kid.pid()))};
        for (int col = 0; col < 6; ++col)
            shown.push_back(cell(c.row(kid.pid()), col));
        drawn = c.rows.at(std::to_string(kid.pid()));
        return true;
    }));
    EXPECT_EQ(shown, drawn);
    // Each cycle tells the status bar's new name, its status text.
    AtspiAccessible* bar = find(app, ATSPI_ROLE_STATUS_BAR);
    EXPECT_TRUE(toldUntil([&](const Told& t) {
        return t.source == bar && t.type == "object:property-change:accessible-name";
    }));
    EXPECT_TRUE(betweenCycles([&](const Cycle& c) { return nameOf(bar) == c.status; }));
    // A cell's place in the window is its place on screen less the window's.
    AtspiPoint* win = atspi_component_get_position(ATSPI_COMPONENT(find(app, ATSPI_ROLE_FRAME)),
                                                   ATSPI_COORD_TYPE_SCREEN, nullptr);
    ASSERT_TRUE(win && win->x > 0 && win->y > 0) << "the window is at the screen's corner";
    AtspiComponent* c01 = ATSPI_COMPONENT(atspi_table_get_accessible_at(grid(), 0, 1, nullptr));
    AtspiPoint* screen = atspi_component_get_position(c01, ATSPI_COORD_TYPE_SCREEN, nullptr);
    AtspiPoint* inWindow = atspi_component_get_position(c01, ATSPI_COORD_TYPE_WINDOW, nullptr);
    EXPECT_EQ(std::make_pair(inWindow->x, inWindow->y),
              std::make_pair(screen->x - win->x, screen->y - win->y));
    // Asked again after as many others as the table keeps, a cell is made anew.
    std::vector<Child> more(11); // rows for more cells than are kept
    EXPECT_TRUE(betweenCycles([&](const Cycle&) {
        AtspiAccessible* first = atspi_table_get_accessible_at(grid(), 0, 0, nullptr);
        const int n = std::min(atspi_table_get_n_rows(grid(), nullptr) * 6, 65);
        for (int i = 1; i < n; ++i)
            g_object_unref(atspi_table_get_accessible_at(grid(), i / 6, i % 6, nullptr));
        return n == 65 && atspi_table_get_accessible_at(grid(), 0, 0, nullptr) != first;
    }));
    // Closed while a client holds cells: they answer, as defunct.
    std::vector<AtspiAccessible*> held;
    for (int col = 0; col < 6; ++col) {
        held.push_back(atspi_table_get_accessible_at(ATSPI_TABLE(table), 0, col, nullptr));
        held.push_back(atspi_table_get_column_header(ATSPI_TABLE(table), col, nullptr));
    }
    close();
    for (AtspiAccessible* c : held)
        EXPECT_TRUE(
            c && atspi_state_set_contains(atspi_accessible_get_state_set(c), ATSPI_STATE_DEFUNCT));
    EXPECT_EQ(atspi_table_get_n_rows(ATSPI_TABLE(table), nullptr), 0);
}

TEST_F(A11y, FocusFollowsItsProcessAndSelectionIsTold) {
    ASSERT_TRUE(focus(kid.pid()));
    AtspiAccessible* focused = focusTold(kid.pid());
    ASSERT_TRUE(focused);
    // Away to the tabs and back, the focused row is told again, focused.
    ASSERT_TRUE(waitFor([&] { return has(focused, ATSPI_STATE_FOCUSED); }, 20000));
    ASSERT_TRUE(
        atspi_component_grab_focus(ATSPI_COMPONENT(find(app, ATSPI_ROLE_PAGE_TAB_LIST)), nullptr));
    ASSERT_TRUE(waitFor([&] { return !has(focused, ATSPI_STATE_FOCUSED); }, 20000));
    toldUntil([](const Told&) { return true; }); // all told so far, then none
    told.clear();
    ASSERT_TRUE(focus(kid.pid()));
    EXPECT_TRUE(has(focusTold(kid.pid()), ATSPI_STATE_FOCUSED));
    // A new process comes on top: the focus stays on its process, untold.
    Child newcomer;
    const size_t before = told.size();
    ASSERT_TRUE(focus(newcomer.pid()));
    ASSERT_TRUE(focusTold(newcomer.pid()));
    for (size_t i = before; i < told.size(); ++i)
        EXPECT_TRUE(told[i].type != "object:active-descendant-changed" ||
                    nameOf(told[i].what) != std::to_string(kid.pid()));
    EXPECT_TRUE(betweenCycles([&](const Cycle& c) {
        return atspi_accessible_get_index_in_parent(focused, nullptr) == c.row(kid.pid()) * 6;
    }));
    EXPECT_EQ(nameOf(focused), std::to_string(kid.pid()));
    // Typing finds a row, told as an arrow key's; keys go to the window under
    // the pointer, and one a second late begins a new text: typed again.
    AtspiRect* r =
        atspi_component_get_extents(ATSPI_COMPONENT(table), ATSPI_COORD_TYPE_SCREEN, nullptr);
    atspi_generate_mouse_event(r->x + r->width / 2, r->y + r->height / 2, "abs", nullptr);
    told.clear();
    bool heard = false;
    for (int i = 0; i < 3 && !heard; ++i)
        heard = atspi_generate_keyboard_event(0, "a11y?", ATSPI_KEY_STRING, nullptr) &&
                focusTold(kid.pid());
    EXPECT_TRUE(heard);
    // A selection set by a client is the list's, and told.
    AtspiSelection* selection = ATSPI_SELECTION(table);
    ASSERT_TRUE(betweenCycles([&](const Cycle& c) {
        atspi_selection_clear_selection(selection, nullptr);
        return c.row(kid.pid()) >= 0 &&
               atspi_selection_select_child(selection, c.row(kid.pid()) * 6, nullptr);
    }));
    EXPECT_TRUE(toldUntil([&](const Told& t) { return t.type == "object:selection-changed"; }));
    EXPECT_TRUE(betweenCycles([&](const Cycle& c) {
        return c.row(kid.pid()) >= 0 &&
               atspi_table_is_row_selected(ATSPI_TABLE(table), c.row(kid.pid()), nullptr) &&
               atspi_selection_get_n_selected_children(selection, nullptr) == 1 &&
               has(atspi_table_get_accessible_at(grid(), c.row(kid.pid()), 2, nullptr),
                   ATSPI_STATE_SELECTED);
    }));
    // Taken off the row or cleared by a client, the selection is gone.
    for (int how = 0; how < 3; ++how)
        EXPECT_TRUE(betweenCycles([&](const Cycle& c) {
            const long row = c.row(kid.pid());
            atspi_table_add_row_selection(grid(), row, nullptr);
            how == 0   ? atspi_table_remove_row_selection(grid(), row, nullptr)
            : how == 1 ? atspi_selection_deselect_selected_child(selection, 0, nullptr)
                       : atspi_selection_clear_selection(selection, nullptr);
            return row >= 0 && atspi_selection_get_n_selected_children(selection, nullptr) == 0;
        })) << how;
}

} // namespace
