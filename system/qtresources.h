#pragma once

#include "api/resources.h"

// Resources compiled into the program with Qt's resource system, at ":/type/id".
class QtResources final : public IResources
{
public:
    QByteArray Load(const QString &type, int id) override;
};
