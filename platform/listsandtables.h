// The values that ring items carry: seeded from the resource file, looked up.
#pragma once

#include <QVariant>

class QComboBox;

// Gives each ring item its value: from the itemValues property (a comma list of
// whole numbers or texts), else its index.
void SeedRingValues(QComboBox *box);
// The index of the ring item carrying a value (int or text), or -1.
int RingIndexOf(QComboBox *box, const QVariant &value);
