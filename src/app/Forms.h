#pragma once

class TMainDivIVForm;
class TFormEditName;
class TWykresForm;
class TProgresForm;
class TPytForm;
class TInfoForm;
class TFormKontakt;

// The program's seven windows, each created once and living until the program ends.
extern TMainDivIVForm *MainDivIVForm;
extern TFormEditName *FormEditName;
extern TWykresForm *WykresForm;
extern TProgresForm *ProgresForm;
extern TPytForm *PytForm;
extern TInfoForm *InfoForm;
extern TFormKontakt *FormKontakt;

namespace arvex::app {
// Creates the seven windows in their fixed order: main window, name editor, chart,
// progress, confirmation, information, contact.
void createForms();
// Destroys them in the reverse order (program end, or the end of a test).
void destroyForms();
} // namespace arvex::app
