#ifndef ORVELAPP_H
#define ORVELAPP_H

#include "orvelAppBase.h"

class orvelApp : public orvelAppBase {
public:
    virtual bool OnInit();
};

#endif
