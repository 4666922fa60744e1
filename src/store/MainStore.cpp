#include "store/MainStore.h"

#include <cmath>

namespace arvex::store {

double tempF(const QVariant &celsius)
{
    const double c = celsius.isNull() ? 0.0 : double(celsius.toFloat());
    return std::nearbyint(c * 18.0 + 320.0) / 10.0; // default rounding: halves to even
}

QStringList reportObjectsSql()
{
    return {QStringLiteral("select * from OBIEKTY "), QStringLiteral("where IDDEV = :IDdev and REZI2 = 1"),
            QStringLiteral("order by REZI1, NAZWA_LONG")};
}

QStringList reportResultsSql()
{
    return {QStringLiteral("select * from WYNIKI "), QStringLiteral("where IDOB = :IDobj and REZI1 = 1"),
            QStringLiteral("order by DATACZAS")};
}

QList<FieldDef> MainStore::objectFields(bool withMarkTag)
{
    return {
        {QStringLiteral("IDOB"), FieldType::Integer, 0, true},
        {QStringLiteral("IDDEV"), FieldType::Integer, 0, true},
        {QStringLiteral("IDO_INDEV"), FieldType::Integer, 0, true},
        {QStringLiteral("NAZWA_DEV"), FieldType::Text, 20},
        {QStringLiteral("NAZWA_LONG"), FieldType::Text, 50},
        {QStringLiteral("OPIS"), FieldType::Text, 250},
        {QStringLiteral("REZI1"), FieldType::Integer},
        {QStringLiteral("REZI2"), FieldType::Integer, 0, false, withMarkTag ? 4 : 0},
        {QStringLiteral("REZC"), FieldType::Text, 50},
        {QStringLiteral("DATA_DODANIA"), FieldType::Timestamp},
    };
}

QList<FieldDef> MainStore::resultFields(bool withTags)
{
    return {
        {QStringLiteral("IDWYN"), FieldType::Integer, 0, true},
        {QStringLiteral("IDOB"), FieldType::Integer, 0, true},
        {QStringLiteral("DATACZAS"), FieldType::Timestamp},
        {QStringLiteral("DATA_IMPORT"), FieldType::Timestamp},
        {QStringLiteral("DANE1"), FieldType::Float, 0, false, 0, withTags ? QStringLiteral("#0.00' pH'") : QString()},
        {QStringLiteral("DANE2"), FieldType::Float, 0, false, 0, withTags ? QStringLiteral("#0.0'°C'") : QString()},
        {QStringLiteral("DANE3"), FieldType::Integer},
        {QStringLiteral("DANE4"), FieldType::Integer},
        {QStringLiteral("REZC"), FieldType::Text, 50},
        {QStringLiteral("REZI1"), FieldType::Integer, 0, false, withTags ? 4 : 0},
        {QStringLiteral("TempF"), FieldType::Double, 0, false, 0, withTags ? QStringLiteral("#.0'°F'") : QString(), true},
    };
}

namespace {
QList<FieldDef> konfigFields()
{
    return {
        {QStringLiteral("IDD"), FieldType::Integer, 0, true},
        {QStringLiteral("AKTYWNE_TRYBY"), FieldType::Integer},
        {QStringLiteral("PORT_COM"), FieldType::Text, 30},
        {QStringLiteral("REZC"), FieldType::Text, 50},
        {QStringLiteral("REZI1"), FieldType::Integer},
        {QStringLiteral("LANG"), FieldType::Integer},
        {QStringLiteral("REZI2"), FieldType::Integer},
        {QStringLiteral("REZI3"), FieldType::Integer},
        {QStringLiteral("REZC1"), FieldType::Text, 20},
    };
}

QList<FieldDef> deviceFields()
{
    return {
        {QStringLiteral("IDDEV"), FieldType::Integer, 0, true},
        {QStringLiteral("DEV_TYPE"), FieldType::FixedText, 3, true},
        {QStringLiteral("NUMER_SER"), FieldType::Integer, 0, true},
        {QStringLiteral("DATA_DODANIA"), FieldType::Timestamp},
        {QStringLiteral("DATA_LASTSYNCHRO"), FieldType::Timestamp},
        {QStringLiteral("REZI1"), FieldType::Integer},
        {QStringLiteral("REZI2"), FieldType::Integer},
        {QStringLiteral("REZIC"), FieldType::Text, 50},
        {QStringLiteral("NAZWAPC"), FieldType::Text, 30},
        {QStringLiteral("KOMENTARZ"), FieldType::Text, 300},
    };
}

QVariant tempFOf(const Dataset &ds, int row) { return tempF(ds.value(row, QStringLiteral("DANE2"))); }
} // namespace

MainStore::MainStore()
    : FDTableKonfig(FDConnection1, QStringLiteral("FDTableKonfig"), konfigFields()),
      FDTableDevices(FDConnection1, QStringLiteral("FDTableDevices"), deviceFields()),
      FDQObiekty(FDConnection1, QStringLiteral("FDQObiekty"), objectFields(true)),
      FDQWyniki(FDConnection1, QStringLiteral("FDQWyniki"), resultFields(true)),
      FDQfrxObiekty(FDConnection1, QStringLiteral("FDQfrxObiekty"), objectFields(false)),
      FDQfrxWyniki(FDConnection1, QStringLiteral("FDQfrxWyniki"), resultFields(false)),
      FDSP_AddObiektTemp(FDConnection1, QStringLiteral("P_UPDATEOBIEKT_TEMP"), 6, true),
      FDSP_AddWynik(FDConnection1, QStringLiteral("P_WYNIKI_UI"), 8, false),
      FDSP_SelectObj(FDConnection1, QStringLiteral("P_SELECT_OBJECTS"), 2, false),
      FDSP_SelectWyn(FDConnection1, QStringLiteral("P_SELECT_WYNIKI"), 2, false),
      FDSP_Markdate(FDConnection1, QStringLiteral("P_SELECTDATES"), 2, false)
{
    FDSP_AddObiektTemp.setWrites(QStringLiteral("OBIEKTY"));
    FDSP_AddWynik.setWrites(QStringLiteral("WYNIKI"));
    FDSP_SelectObj.setWrites(QStringLiteral("OBIEKTY"));
    FDSP_SelectWyn.setWrites(QStringLiteral("WYNIKI"));
    FDSP_Markdate.setWrites(QStringLiteral("WYNIKI and OBIEKTY"));
    FDTableKonfig.setSql({QStringLiteral("select * from KONFIGURACJA order by IDD")});
    FDTableKonfig.setUpdateTarget(QStringLiteral("KONFIGURACJA"), QStringLiteral("IDD"));
    FDTableDevices.setSql({QStringLiteral("select * from ARVEXDEVICES order by IDDEV")});
    FDTableDevices.setUpdateTarget(QStringLiteral("ARVEXDEVICES"), QStringLiteral("IDDEV"));
    FDQObiekty.setUpdateTarget(QStringLiteral("OBIEKTY"), QStringLiteral("IDOB"));
    FDQWyniki.setUpdateTarget(QStringLiteral("WYNIKI"), QStringLiteral("IDWYN"));
    FDQWyniki.setCalc(QStringLiteral("TempF"), tempFOf);
    FDQfrxObiekty.setSql(reportObjectsSql());
    FDQfrxWyniki.setSql(reportResultsSql());
    FDQfrxWyniki.setCalc(QStringLiteral("TempF"), tempFOf);
}

void MainStore::openDatabase(const QString &databaseFile)
{
    for (StoredProc *p : {&FDSP_AddObiektTemp, &FDSP_AddWynik, &FDSP_SelectObj, &FDSP_SelectWyn, &FDSP_Markdate})
        p->unprepare();
    FDConnection1.setDatabase(databaseFile);
    FDConnection1.open();
}

void MainStore::openTables()
{
    FDTableKonfig.open();
    FDTableDevices.open();
}

bool MainStore::locateDevice(int key) { return FDTableDevices.locate(QStringLiteral("IDDEV"), key); }

int MainStore::currentDeviceKey() const
{
    return FDTableDevices.fieldValue(QStringLiteral("IDDEV")).toInt();
}

} // namespace arvex::store
