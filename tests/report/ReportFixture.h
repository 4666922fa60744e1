#pragma once
// A program folder for report tests: a fresh database filled through the import, the
// language files and the report templates of the build, and the main window started on it.

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/MainDivIV.h"
#include "meter/MeterImport.h"
#include "store/MainStore.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTimer>
#include <QtTest>
#include <map>

namespace reporttest {

struct Measurement {
    QDateTime when;
    double ph;
    double celsius;
};
using MeterContent = QList<std::pair<QByteArray, QList<Measurement>>>;

// Stores the meter's content through the import, as a download does; gives the stored count.
inline int importMeter(const QString &databaseFile, const MeterContent &content)
{
    using namespace arvex;
    store::MainStore s;
    s.openDatabase(databaseFile);
    std::map<QByteArray, QByteArray> replies;
    QList<QByteArray> objects;
    int number = 0;
    for (const auto &[name, results] : content) {
        objects << meter::EncodeObject(number, name);
        QByteArray reply;
        for (const Measurement &m : results)
            reply += meter::EncodeResult(7, m.when, quint16(qRound(m.ph * 100)), meter::temperatureWord(m.celsius));
        replies[meter::ResultsCommand(number)] = reply + "*";
        ++number;
    }
    meter::MeterImport import(s.FDConnection1, s.FDSP_AddObiektTemp, s.FDSP_AddWynik);
    return import.ImportObjects(objects, [&](const QByteArray &command, int) { return replies[command]; }).stored;
}

// Runs a program; gives its standard output (standard error on failure).
inline QByteArray run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qWarning() << program << args << p.readAllStandardError();
    return p.readAllStandardOutput();
}

// Answers the next modal dialog: `act` sees it and closes it. Delete the timer given back
// when no dialog is expected to come.
inline QTimer *onNextDialog(std::function<void(QDialog *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(d);
        }
    });
    timer->start();
    return timer;
}

inline QString screenshotPath(const QString &name)
{
    QDir().mkpath(QStringLiteral(ARVEX_BUILD_DIR "/screenshots"));
    return QStringLiteral(ARVEX_BUILD_DIR "/screenshots/") + name;
}

class Program {
public:
    explicit Program(const MeterContent &content)
    {
        for (const QString &f : QDir(TestDatabase::appDir()).entryList({"*.lng", "*.fr3"}, QDir::Files))
            QFile::copy(TestDatabase::appDir() + "/" + f, db.folder() + "/" + f);
        stored = importMeter(db.path(), content);
        arvex::app::setErrorHandler([this](QWidget *, const QString &t) { errors << t; });
    }
    ~Program()
    {
        arvex::app::destroyForms();
        arvex::app::setErrorHandler({});
    }
    void sql(const QString &statements) { db.isql(statements + "; commit;"); }
    void start()
    {
        arvex::app::createForms();
        w = MainDivIVForm;
        w->setProgramFolderOverride(db.folder());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY2(w->startupCompleted(), qPrintable(errors.join('\n')));
    }
    // The user chooses the language with this ISO code in the language box.
    void chooseLanguage(const QString &code)
    {
        for (int i = 0; i < w->LangFlagsCombo1->count(); ++i)
            if (w->LangManEngine1->GetISOCode(i).startsWith(code)) {
                w->LangFlagsCombo1->setCurrentIndex(i);
                emit w->LangFlagsCombo1->activated(i);
                return;
            }
        QFAIL(qPrintable("no language " + code));
    }

    TestDatabase db;
    int stored = 0;
    QStringList errors;
    TMainDivIVForm *w = nullptr;
};

} // namespace reporttest
