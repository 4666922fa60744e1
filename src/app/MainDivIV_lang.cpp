// The main window's languages, its contact button and its stored settings.

#include "app/MainDivIV.h"

#include "app/ErrorDisplay.h"
#include "app/Forms.h"
#include "app/dialogs/FormStorage.h"
#include "app/dialogs/UnKontakt.h"
#include "lang/LangMan.h"

#include <QAction>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QSessionManager>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>

using arvex::lang::TDesignedLexicon;
using arvex::lang::TLangManClient;
using arvex::lang::TLangManEngine;

namespace {

// Breaks a button text at blanks where one line does not fit the room: into two lines of
// about even width where two fit, else line by line.
QString wrappedToFit(const QString &text, const QFontMetrics &fm, int width)
{
    if (fm.horizontalAdvance(text) <= width || text.contains(QLatin1Char('\n')))
        return text;
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    int bestWidth = width + 1;
    QString best;
    for (int i = 1; i < words.size(); ++i) {
        const QString first = words.mid(0, i).join(QLatin1Char(' '));
        const QString second = words.mid(i).join(QLatin1Char(' '));
        const int w = qMax(fm.horizontalAdvance(first), fm.horizontalAdvance(second));
        if (w < bestWidth) {
            bestWidth = w;
            best = first + QLatin1Char('\n') + second;
        }
    }
    if (!best.isEmpty())
        return best;
    QStringList lines;
    QString line;
    for (const QString &word : words) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && fm.horizontalAdvance(candidate) > width) {
            lines << line;
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines.join(QLatin1Char('\n'));
}

} // namespace

void TMainDivIVForm::setUpLanguagesAndSettings()
{
    LangManEngine1 = new TLangManEngine(this);
    DesignedLexicon1 = new TDesignedLexicon(LangManEngine1, arvex::lang::designedLexiconRows(), this);
    DesignedLexicon1->setDesignForms(arvex::lang::designedLexiconForms());

    // The translated texts of this window; the device labels (set by the download) and the
    // caption are not among them.
    LangManClient1 = new TLangManClient(this);
    for (QPushButton *b : {ButtonConnect, btnRaport, JvBitBtn1, btnExportPDF, btnExportXLS, btnSelectDate, BitBtn1,
                           btnMyName, btnDelObject, btnDelRekord}) {
        // A text that does not fit on one line is wrapped at blanks.
        LangManClient1->add(b, b->text(), [b](const QString &t) {
            const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
            b->setText(wrappedToFit(t, b->fontMetrics(), b->width() - 14 - icon));
        });
    }
    for (QAbstractButton *b : RGjednostkaTButtons->buttons())
        LangManClient1->add(b);
    // A device label grows with its text; the value beside it moves right, keeping its right edge.
    for (auto [label, value] : {std::pair{Label1, LabNazwa}, std::pair{Label3, LabSN}, std::pair{Label4, LabFV}}) {
        const QRect designLabel = label->geometry(), designValue = value->geometry();
        LangManClient1->add(label, label->text(), [label, value, designLabel, designValue](const QString &t) {
            label->setText(t);
            const int w = qMax(designLabel.width(), label->fontMetrics().horizontalAdvance(t) + 2);
            label->setGeometry(designLabel.x(), designLabel.y(), w, designLabel.height());
            const int x = qMax(designValue.x(), designLabel.x() + w + 4);
            value->setGeometry(x, designValue.y(), designValue.right() + 1 - x, designValue.height());
        });
    }
    for (QLabel *l : {Label5, Label6})
        LangManClient1->add(l);
    LangManClient1->add(RGjednostkaT);
    LangManClient1->addTab(PageControl1, 0);
    for (QAction *a : {actChart, actMyname, actDelRekord, actDelObject})
        LangManClient1->add(a);
    for (arvex::store::DatasetModel *m : {objectsModel, resultsModel})
        for (int c = 0; c < m->columns().size(); ++c)
            LangManClient1->add(m, m->columns().at(c).title, [m, c](const QString &t) { m->setColumnTitle(c, t); });

    // The device labels grow with their texts: the narrowest width may change.
    connect(LangManEngine1, &TLangManEngine::languageChanged, this, &TMainDivIVForm::updateMinimumWidth);
    connect(LangFlagsCombo1, &arvex::lang::TLangFlagsCombo::Click, this,
            [this] { LangFlagsCombo1ChangeLanguage(LangFlagsCombo1); });
    connect(BitBtn1, &QPushButton::clicked, this, &TMainDivIVForm::BitBtn1Click);

    // The stored settings: the window's placement and these four properties.
    JvFormStorage1 = new arvex::app::FormStorage(this);
    using arvex::app::FormStorage;
    JvFormStorage1->addProperty(FormStorage::dateProperty(QStringLiteral("dtpDataOd_Date"), dtpDataOd, QTime(0, 0, 0)));
    JvFormStorage1->addProperty(FormStorage::dateProperty(QStringLiteral("dtpDataDo_Date"), dtpDataDo, QTime(23, 59, 59)));
    JvFormStorage1->addProperty(FormStorage::intProperty(
        QStringLiteral("Panel8_Width"), [this] { return Panel8->width(); },
        [this](int w) {
            const QList<int> sizes = Splitter2->sizes();
            int total = sizes.value(0) + sizes.value(1);
            if (total <= 0)
                total = width() - Splitter2->handleWidth();
            Splitter2->setSizes({w, qMax(0, total - w)});
        },
        0, 100000));
    JvFormStorage1->addProperty(FormStorage::intProperty(
        QStringLiteral("RGjednostkaT_ItemIndex"), [this] { return RGjednostkaTButtons->checkedId(); },
        [this](int index) {
            // A change runs the group's click handler as a user's click does.
            if (RGjednostkaTButtons->checkedId() != index)
                RGjednostkaTButtons->button(index)->click();
        },
        0, 1));

    // The settings are written when the window closes; when the program ends without that
    // (the desktop session ends, the application is told to quit), they are written then.
    auto saveUnlessClosed = [this] {
        if (JvFormStorage1->restored() && !settingsSaved_)
            SaveSettings();
    };
    connect(qGuiApp, &QCoreApplication::aboutToQuit, this, saveUnlessClosed);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, saveUnlessClosed);
}

void TMainDivIVForm::prepareFirstShow()
{
    // The language list is built once, from the language files of the program folder.
    if (!LangManEngine1->languagesLoaded()) {
        LangManEngine1->loadLanguages(programFolder());
        LangFlagsCombo1->setEngine(LangManEngine1);
    }
    RestoreSettings();
}

void TMainDivIVForm::RestoreSettings()
{
    const QString file = QDir::toNativeSeparators(JvFormStorage1->fileName());
    try {
        QStringList problems;
        QString error;
        if (!JvFormStorage1->restore(&problems, &error))
            arvex::app::showError(this, QStringLiteral("The stored settings could not be read from \"%1\": %2\n"
                                                       "The window starts with its design settings.")
                                            .arg(file, error));
        else if (!problems.isEmpty())
            arvex::app::showError(this, QStringLiteral("Some stored settings in \"%1\" could not be used and keep "
                                                       "their design values: %2.")
                                            .arg(file, problems.join(QStringLiteral(", "))));
    } catch (const std::exception &e) {
        arvex::app::showError(this, QString::fromLocal8Bit(e.what()));
    }
}

void TMainDivIVForm::SaveSettings()
{
    QString error;
    if (!JvFormStorage1->save(&error))
        arvex::app::showError(this, QStringLiteral("The settings could not be saved to \"%1\": %2")
                                        .arg(QDir::toNativeSeparators(JvFormStorage1->fileName()), error));
}

int TMainDivIVForm::GetActLangNbr() const
{
    return arvex::lang::languageNumber(LangManEngine1->GetISOCode(LangFlagsCombo1->currentIndex()));
}

void TMainDivIVForm::RestoreLanguage()
{
    // The stored position selects the entry (a position outside the list selects none).
    const int stored = store.FDTableKonfig.fieldValue(QStringLiteral("LANG")).toInt();
    LangFlagsCombo1->setCurrentIndex(stored >= 0 && stored < LangFlagsCombo1->count() ? stored : -1);
    LangManEngine1->Translate(LangManEngine1->GetISOCode(LangFlagsCombo1->currentIndex()));
    LangFlagsCombo1ChangeLanguage(this);
}

void TMainDivIVForm::LangFlagsCombo1ChangeLanguage(QObject *Sender)
{
    Q_UNUSED(Sender);
    // 1. The position of the entry, not its code, is what is stored.
    arvex::store::Dataset &konfig = store.FDTableKonfig;
    try {
        konfig.edit();
        konfig.setFieldValue(QStringLiteral("LANG"), LangFlagsCombo1->currentIndex());
        konfig.post();
    } catch (const arvex::store::DatabaseError &e) {
        if (konfig.isEditing())
            konfig.cancel();
        arvex::app::showError(this, QStringLiteral("The chosen language could not be stored in the database.\n\n%1")
                                        .arg(e.text()));
    }

    // 2. The header picture of the language number in front...
    headerPictures().at(GetActLangNbr())->raise();
    // 3. ...the plain labels tagged 11 above it, and the controls above all pictures.
    for (QLabel *l : tag11Labels())
        l->raise();
    const QObjectList children = Panel1->children();
    for (QObject *o : children)
        if (o->isWidgetType() && !qobject_cast<QLabel *>(o))
            static_cast<QWidget *>(o)->raise();

    // The date pickers name the months in the language of the chosen entry (English when
    // none is chosen).
    const QString iso = LangManEngine1->GetISOCode(LangFlagsCombo1->currentIndex());
    const QLocale locale(iso.isEmpty() ? QStringLiteral("en") : iso);
    for (QDateEdit *picker : {dtpDataOd, dtpDataDo}) {
        picker->setLocale(locale);
        picker->setDisplayFormat(QStringLiteral("d MMM yyyy"));
    }

    // 4. START has the focus.
    ButtonConnect->setFocus();
}

void TMainDivIVForm::BitBtn1Click()
{
    if (FormKontakt)
        FormKontakt->ShowModal();
}
