// The process list and the status bar as screen readers see them: the list a
// table whose cells are the texts the list draws, the status bar a status bar
// named after its text. The only unit that speaks to the accessibility
// toolkit (ATK through GTK); it knows the controls by their public face only.
#ifndef ORVEL_ACCESSIBLE_H
#define ORVEL_ACCESSIBLE_H

class wxListCtrl;
class wxStatusBar;
class wxString;

// Gives a report list a table named name; call it once, before the list is
// shown. The table lets go of the list when the list is destroyed.
void attachAccessibleTable(wxListCtrl* list, const wxString& name);

// The status bar's role and its first field's text as its name.
void attachAccessibleStatusBar(wxStatusBar* bar);
// Tells clients the status bar's new text; nothing when it is the same.
void statusTextChanged(wxStatusBar* bar);

#endif
