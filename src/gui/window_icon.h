#pragma once

#include <QIcon>

// The utility's icon, drawn here so it scales to every size the desktop asks for.
QIcon UtilityIcon();
