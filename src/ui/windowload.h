#pragma once

class vantrel;

// Runs the window's load handler, Form_Load, once the window has been created, as the window
// system does: by its name, so the handler stays private to the window. A window without it (a
// rename) stops the program here, loudly, instead of running unloaded.
void loadWindow(vantrel &window);
