// The five small windows: their look, the modal results and key rules, the information
// window's text, the progress window's parts and the contact window's blocks and links.

#include "app/dialogs/UEditMyName.h"
#include "app/dialogs/UnInfo.h"
#include "app/dialogs/UnKontakt.h"
#include "app/dialogs/UnProgres.h"
#include "app/dialogs/UnPytanie.h"
#include "lang/LangMan.h"
#include "support/UiChecks.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QImage>
#include <QPainter>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

// The ink a text leaves when drawn in a font: the sum of darkness over a white picture.
long ink(const QString &text, const QFont &font)
{
    QImage picture(600, 120, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(picture.rect(), Qt::AlignCenter, text);
    p.end();
    long sum = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            sum += 255 - qGray(picture.pixel(x, y));
    return sum;
}

// Runs the window modally; whileOpen acts on it once it is up. A window that stays open
// is closed after a few seconds so that a failing test cannot hang.
int runModal(QDialog *dialog, std::function<void()> whileOpen)
{
    QTimer::singleShot(0, dialog, [dialog, whileOpen] {
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog))
            qWarning("the window did not become active");
        whileOpen();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, dialog, [dialog] { dialog->done(-1); });
    guard.start(5000);
    return dialog->exec();
}

void pressKey(QWidget *window, Qt::Key key)
{
    QWidget *target = QApplication::focusWidget();
    if (!target || target->window() != window)
        target = window->focusWidget();
    QTest::keyClick(target ? target : window, key);
}

std::unique_ptr<QWidget> ownerWindow()
{
    auto owner = std::make_unique<QWidget>();
    owner->setGeometry(100, 80, 1000, 700);
    owner->show();
    return owner;
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void looks_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<int>("fontPixels");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("centred");
        const QColor blue(204, 231, 248);
        QTest::newRow("progress") << "progress" << QSize(413, 108) << blue << 19 << false << true;
        QTest::newRow("confirmation") << "confirmation" << QSize(376, 132) << blue << 19 << false << true;
        QTest::newRow("information") << "information" << QSize(341, 172) << blue << 19 << false << true;
        QTest::newRow("name editor") << "name" << QSize(410, 134) << blue << 19 << false << false;
        QTest::newRow("contact") << "contact" << QSize(347, 362) << QColor(225, 241, 251) << 16 << true << true;
    }
    void looks()
    {
        QFETCH(QString, which);
        QFETCH(QSize, size);
        QFETCH(QColor, background);
        QFETCH(int, fontPixels);
        QFETCH(bool, bold);
        QFETCH(bool, centred);
        auto owner = ownerWindow();
        TSmallForm *w = which == "progress"       ? static_cast<TSmallForm *>(new TProgresForm(owner.get()))
                        : which == "confirmation" ? static_cast<TSmallForm *>(new TPytForm(owner.get()))
                        : which == "information"  ? static_cast<TSmallForm *>(new TInfoForm(owner.get()))
                        : which == "name"         ? static_cast<TSmallForm *>(new TFormEditName(owner.get()))
                                                  : static_cast<TSmallForm *>(new TFormKontakt(owner.get()));
        if (which == "contact")
            static_cast<TFormKontakt *>(w)->setLanguageNumberSource([] { return 0; });
        QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(w->size(), size);
        QCOMPARE(w->palette().color(QPalette::Window), background);
        QCOMPARE(w->font().family(), QString("Tahoma"));
        QCOMPARE(w->font().pixelSize(), fontPixels);
        QCOMPARE(w->font().bold(), bold);
        QCOMPARE(bool(w->windowFlags() & Qt::WindowStaysOnTopHint), which == "progress");
        QVERIFY(uichecks::clippedTexts(w).isEmpty());

        w->move(5, 5); // where an earlier caller left it
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        uichecks::saveScreenshot(w, "dialog_" + which);
        // What the window asks is what it draws: a bold window's texts come out heavier than
        // the same texts in the regular weight.
        for (QLabel *l : w->findChildren<QLabel *>()) {
            if (l->text().trimmed().isEmpty() || !l->isVisibleTo(w))
                continue;
            QFont regular = l->font();
            regular.setBold(false);
            const double ratio = double(ink(l->text(), l->font())) / ink(l->text(), regular);
            QVERIFY2(bold ? ratio > 1.15 : ratio == 1.0, qPrintable(l->objectName() + ": " + QString::number(ratio)));
        }
        auto isCentred = [&] { return (w->frameGeometry().center() - owner->frameGeometry().center()).manhattanLength() <= 2; };
        if (centred)
            QVERIFY(isCentred());
        else
            QCOMPARE(w->pos(), QPoint(5, 5));
        w->hide();
        owner->move(40, 30);
        w->show(); // each show centres again
        if (centred)
            QVERIFY(isCentred());
        w->hide();
    }

    void confirmationKeys_data()
    {
        QTest::addColumn<int>("message");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("result");
        QTest::newRow("Enter right after opening is OK") << 1 << "enter" << 1;
        QTest::newRow("Escape is Cancel") << 2 << "escape" << 2;
        QTest::newRow("Escape after moving to OK") << 1 << "tab tab escape" << 2;
        QTest::newRow("Enter on Cancel") << 2 << "tab enter" << 2;
        QTest::newRow("no message, OK") << 3 << "enter" << 1;
        QTest::newRow("click Cancel") << 1 << "click cancel" << 2;
        QTest::newRow("click OK") << 2 << "click ok" << 1;
    }
    void confirmationKeys()
    {
        QFETCH(int, message);
        QFETCH(QString, action);
        QFETCH(int, result);
        auto owner = ownerWindow();
        TPytForm form(owner.get());
        form.NumerKomunikatu = message;
        QWidget *focusAtOpening = nullptr;
        const int answer = runModal(&form, [&] {
            focusAtOpening = QApplication::focusWidget();
            QCOMPARE(form.Label1->isVisible(), message == 1);
            QCOMPARE(form.Label2->isVisible(), message == 2);
            for (const QString &step : action.split(' ')) {
                if (step == "enter")
                    pressKey(&form, Qt::Key_Return);
                else if (step == "escape")
                    pressKey(&form, Qt::Key_Escape);
                else if (step == "tab")
                    pressKey(&form, Qt::Key_Tab);
                else if (step == "cancel")
                    QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
                else if (step == "ok")
                    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
            }
        });
        QCOMPARE(answer, result);
        QCOMPARE(focusAtOpening, static_cast<QWidget *>(form.BitBtn1));
    }

    void nameEditorKeysWorkInTheEditBox_data()
    {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("Enter") << Qt::Key_Return << 1;
        QTest::newRow("keypad Enter") << Qt::Key_Enter << 1;
        QTest::newRow("Escape") << Qt::Key_Escape << 2;
    }
    void nameEditorKeysWorkInTheEditBox()
    {
        QFETCH(Qt::Key, key);
        QFETCH(int, result);
        TFormEditName form;
        form.move(300, 200); // the caller puts it at the mouse pointer
        form.Edit1->setText("River");
        QWidget *focus = nullptr;
        const int answer = runModal(&form, [&] {
            focus = QApplication::focusWidget();
            QTest::keyClick(form.Edit1, Qt::Key_End); // the name is selected on opening
            QTest::keyClicks(form.Edit1, " Vistula");
            QTest::keyClick(form.Edit1, key);
        });
        QCOMPARE(focus, static_cast<QWidget *>(form.Edit1));
        QCOMPARE(answer, result);
        QCOMPARE(form.Edit1->text(), QString("River Vistula"));
        QCOMPARE(form.pos(), QPoint(300, 200));
    }

    void nameEditorButtons()
    {
        TFormEditName form;
        QCOMPARE(runModal(&form, [&] { QTest::mouseClick(form.BitBtn2, Qt::LeftButton); }), 2);
        QCOMPARE(runModal(&form, [&] { QTest::mouseClick(form.BitBtn1, Qt::LeftButton); }), 1);
    }

    void informationShowsItsTextUntilOk()
    {
        auto owner = ownerWindow();
        TInfoForm form(owner.get());
        QString shown;
        bool stillOpenAfterEscape = false;
        QTimer::singleShot(0, &form, [&] {
            shown = form.Label2->text();
            pressKey(&form, Qt::Key_Escape); // only OK closes the window
            stillOpenAfterEscape = form.isVisible();
            uichecks::saveScreenshot(&form, "info_en");
            QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
        });
        form.DlgShow("Two lines:\n1234 records read.");
        QCOMPARE(shown, QString("Two lines:\n1234 records read."));
        QVERIFY(stillOpenAfterEscape);
        QCOMPARE(form.result(), 1);
        QVERIFY(!form.Label2->wordWrap());
        QCOMPARE(form.Label2->geometry(), QRect(23, 8, 298, 105));
    }

    // The information window shows the lexicon's messages: each fits in every language.
    void lexiconMessagesFitTheInformationWindow()
    {
        arvex::lang::TLangManEngine engine;
        engine.loadLanguages(QStringLiteral(ARVEX_APP_DIR));
        arvex::lang::TDesignedLexicon lexicon(&engine, arvex::lang::designedLexiconRows());
        TInfoForm form;
        QStringList problems;
        for (int i = 0; i < engine.languageCount(); ++i) {
            engine.TranslateIndex(i);
            const int number = arvex::lang::languageNumber(engine.GetISOCode(i));
            const QString closing = (number == 1 || number == 4 || number == 5)
                                        ? lexicon.GetItem(7) + " 123456 " + lexicon.GetItem(8)
                                        : "123456 " + lexicon.GetItem(7);
            for (const QString &message : {lexicon.GetItem(0), lexicon.GetItem(1), lexicon.GetItem(9), closing}) {
                form.Label2->setText(message);
                problems += uichecks::clippedTexts(&form);
            }
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }

    void progressWindowParts()
    {
        auto owner = ownerWindow();
        TProgresForm form(owner.get());
        QVERIFY(!form.isModal());
        const QList<QLabel *> labels{form.LabSearch, form.LabImport, form.LabNodevice, form.LabError, form.LabelFTDI};
        const QStringList texts{"Searching", "Importing data", "Device not connected", "Import error",
                                "Installing FTDI driver"};
        for (int i = 0; i < labels.size(); ++i) {
            QCOMPARE(labels[i]->text(), texts[i]);
            QCOMPARE(labels[i]->geometry(), QRect(8, 24, 397, 23));
            QCOMPARE(labels[i]->alignment(), Qt::AlignCenter);
        }
        QCOMPARE(form.ProgressBar1->geometry(), QRect(40, 66, 333, 31));
        QCOMPARE(form.ProgressBar1->minimum(), 0);
        QCOMPARE(form.ProgressBar1->maximum(), 100);

        // Shown without waiting; Escape does not hide it.
        form.Show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.ProgressBar1->setValue(75);
        pressKey(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
        uichecks::saveScreenshot(&form, "progress_searching_en");
        for (int i = 0; i < labels.size(); ++i) {
            for (int j = 0; j < labels.size(); ++j)
                labels[j]->setVisible(i == j);
            uichecks::saveScreenshot(&form, "progress_" + labels[i]->objectName());
        }
        form.Hide();
        QVERIFY(!form.isVisible());
    }

    void confirmationScreenshots()
    {
        TPytForm form;
        for (int n : {1, 2, 3}) {
            form.NumerKomunikatu = n;
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            uichecks::saveScreenshot(&form, QStringLiteral("confirm%1_en").arg(n));
            form.hide();
        }
        TFormEditName name;
        name.Edit1->setText("Sample 12 (river)");
        name.show();
        QVERIFY(QTest::qWaitForWindowExposed(&name));
        uichecks::saveScreenshot(&name, "editname_shown_en");
    }

    void contactBlocksAndLinks_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("site");
        QTest::newRow("0 English") << 0 << "https://www.arvex.example.com/";
        QTest::newRow("1 Polish") << 1 << "https://www.arvex.example.com/pl/";
        QTest::newRow("2 German") << 2 << "https://www.arvex.example.com/de/";
        QTest::newRow("3 French") << 3 << "https://www.arvex.example.com/fr/";
        QTest::newRow("4 Spanish") << 4 << "https://www.arvex.example.com/es/";
        QTest::newRow("5 Russian") << 5 << "https://www.arvex.example.com/ru/";
        QTest::newRow("6 Italian opens nothing") << 6 << "";
    }
    void contactBlocksAndLinks()
    {
        QFETCH(int, number);
        QFETCH(QString, site);
        QList<QUrl> opened;
        TFormKontakt::setUrlOpener([&](const QUrl &u) { opened << u; });
        auto owner = ownerWindow();
        TFormKontakt form(owner.get());
        form.setLanguageNumberSource([number] { return number; });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        const bool polish = number == 1;
        for (QLabel *l : {form.LabelPL, form.LabelPLtel, form.Label3pl})
            QCOMPARE(l->isVisible(), polish);
        for (QLabel *l : {form.LabelINT, form.LabelINTtel, form.Label3int})
            QCOMPARE(l->isVisible(), !polish);
        QVERIFY(form.LabelINT->text().startsWith(form.LabelPL->text() + "\n"));
        QVERIFY(uichecks::clippedTexts(&form).isEmpty());
        if (number <= 1)
            uichecks::saveScreenshot(&form, polish ? "contact_pl" : "contact_int");

        // The web address and the house share one handler: the site of the language number.
        QTest::mouseClick(polish ? form.Label3pl : form.Label3int, Qt::LeftButton);
        QTest::mouseClick(form.Image3, Qt::LeftButton);
        const QList<QUrl> expectedSite = site.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl(site), QUrl(site)};
        QCOMPARE(opened, expectedSite);

        opened.clear();
        for (QLabel *l : {form.Label4, form.Image6, form.Image4, form.Image5, form.Image8, form.Image1}) {
            QCOMPARE(l->cursor().shape(), Qt::PointingHandCursor);
            QTest::mouseClick(l, Qt::LeftButton);
        }
        QTest::mouseClick(form.LabelINT, Qt::LeftButton); // the address opens nothing
        QCOMPARE(opened, (QList<QUrl>{QUrl("mailto:info@arvex.example.com"), QUrl("mailto:info@arvex.example.com"),
                                      TFormKontakt::facebookPage(), TFormKontakt::linkedInPage(),
                                      TFormKontakt::youTubeChannel(), TFormKontakt::instagramProfile()}));
        for (const QUrl &u : opened)
            QVERIFY(u.scheme() == "mailto" || u.host().endsWith(".example.net") || u.host().endsWith(".example.com"));
        QVERIFY(form.isVisible()); // links leave the window open
        QCOMPARE(runModal(&form, [&] { QTest::mouseClick(form.BitBtn1, Qt::LeftButton); }), 1);
        TFormKontakt::setUrlOpener({});
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
