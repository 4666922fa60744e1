#include "app/Forms.h"

#include "app/MainDivIV.h"
#include "app/dialogs/UEditMyName.h"
#include "app/dialogs/UnInfo.h"
#include "app/dialogs/UnKontakt.h"
#include "app/dialogs/UnProgres.h"
#include "app/dialogs/UnPytanie.h"
#include "chart/UnChart.h"

TMainDivIVForm *MainDivIVForm = nullptr;
TFormEditName *FormEditName = nullptr;
TWykresForm *WykresForm = nullptr;
TProgresForm *ProgresForm = nullptr;
TPytForm *PytForm = nullptr;
TInfoForm *InfoForm = nullptr;
TFormKontakt *FormKontakt = nullptr;

namespace arvex::app {

void createForms()
{
    MainDivIVForm = new TMainDivIVForm();
    FormEditName = new TFormEditName(MainDivIVForm);
    WykresForm = new TWykresForm(MainDivIVForm);
    ProgresForm = new TProgresForm(MainDivIVForm);
    PytForm = new TPytForm(MainDivIVForm);
    InfoForm = new TInfoForm(MainDivIVForm);
    FormKontakt = new TFormKontakt(MainDivIVForm);
}

void destroyForms()
{
    // The small windows are children of the main window and go with it.
    delete MainDivIVForm;
    MainDivIVForm = nullptr;
    FormEditName = nullptr;
    WykresForm = nullptr;
    ProgresForm = nullptr;
    PytForm = nullptr;
    InfoForm = nullptr;
    FormKontakt = nullptr;
}

} // namespace arvex::app
