#pragma once

#include <QPixmap>
// The program's icon, drawn at any size.
QPixmap FennelwrightIcon(int size);
