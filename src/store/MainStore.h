#pragma once

#include "store/Connection.h"
#include "store/Dataset.h"
#include "store/StoredProc.h"

namespace arvex::store {

// The pH meter's row in ARVEXDEVICES.
constexpr int PhMeterDeviceKey = 17;

// °F for a stored °C value: (°C × 18 + 320, rounded to the nearest integer, halves to even) / 10.
// An empty value counts as 0 °C.
double tempF(const QVariant &celsius);

// The report queries' fixed texts.
QStringList reportObjectsSql();
QStringList reportResultsSql();

// The main window's data-access objects: the connection, the two tables, the two live views,
// the two report queries and the five stored procedures.
class MainStore {
public:
    MainStore();

    Connection FDConnection1;
    Dataset FDTableKonfig;   // KONFIGURACJA ordered by IDD
    Dataset FDTableDevices;  // ARVEXDEVICES in PK_ARVEXDEVICES order
    Dataset FDQObiekty;      // objects view (SQL set at run time)
    Dataset FDQWyniki;       // results view (SQL set at run time)
    Dataset FDQfrxObiekty;   // report: marked objects of a device
    Dataset FDQfrxWyniki;    // report: marked results of an object
    StoredProc FDSP_AddObiektTemp; // P_UPDATEOBIEKT_TEMP
    StoredProc FDSP_AddWynik;      // P_WYNIKI_UI
    StoredProc FDSP_SelectObj;     // P_SELECT_OBJECTS
    StoredProc FDSP_SelectWyn;     // P_SELECT_WYNIKI
    StoredProc FDSP_Markdate;      // P_SELECTDATES

    // Opens the connection on the given database file.
    void openDatabase(const QString &databaseFile);
    // Opens the configuration table, then the devices table.
    void openTables();
    // Positions the devices table on the row with the given key; the outcome is returned.
    bool locateDevice(int key = PhMeterDeviceKey);
    // Key of the devices table's current row (0 when it has none).
    int currentDeviceKey() const;

    static QList<FieldDef> objectFields(bool withMarkTag);
    static QList<FieldDef> resultFields(bool withTags);
};

} // namespace arvex::store
