#ifndef ORVELAPP_H
#define ORVELAPP_H

#include <wx/app.h>

class orvelApp : public wxApp {
public:
    virtual bool OnInit();
};

#endif
