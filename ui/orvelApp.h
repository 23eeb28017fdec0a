#ifndef ORVELAPP_H
#define ORVELAPP_H

#include <wx/app.h>

class orvelApp : public wxApp {
public:
    orvelApp();
    virtual bool OnInit();
};

#endif
