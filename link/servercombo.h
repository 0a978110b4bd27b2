// The connection panel's server field as a combo box of recently used server
// names, kept in IPComboBox.cfg (linksettings/serverlist.h).
#pragma once

namespace programlink {

// Makes the connection panel's server field a light grey combo box and loads
// the list file into it. Result: the combo box's id, or an error code.
int InitServerComboBox();
// Moves the server field's text to the top of the list, keeps ten names and
// rewrites the list file. Runs on commit of the server field.
void StoreServerName();

} // namespace programlink
