#include "app/dialogs/UnKontakt.h"

#include "app/Forms.h"
#include "app/MainDivIV.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>

namespace {

TFormKontakt::UrlOpener &urlOpener()
{
    static TFormKontakt::UrlOpener opener;
    return opener;
}

// A picture of the compiled-in artwork at its size; transparent while it is missing.
QPixmap picture(const QString &name, QSize size)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    const QString path = QStringLiteral(":/art/contact/%1.svg").arg(name);
    if (QFile::exists(path)) {
        QSvgRenderer svg(path);
        QPainter p(&pm);
        svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    return pm;
}

} // namespace

QString TFormKontakt::companyAddressLines()
{
    return QStringLiteral("ARVEX TECHNOLOGY Sp. z o.o.\nul. Przykładowa 12, 00-950 Warszawa");
}
QString TFormKontakt::countryLine() { return QStringLiteral("Poland"); }
QString TFormKontakt::domesticTelephone() { return QStringLiteral("22 000 00 00"); }
QString TFormKontakt::internationalTelephone() { return QStringLiteral("+48 22 000 00 00"); }
QString TFormKontakt::domesticWebAddress() { return QStringLiteral("www.arvex.example.com/pl"); }
QString TFormKontakt::internationalWebAddress() { return QStringLiteral("www.arvex.example.com"); }
QString TFormKontakt::mailAddress() { return QStringLiteral("info@arvex.example.com"); }

QUrl TFormKontakt::webSite(int languageNumber)
{
    switch (languageNumber) {
    case 0: return QUrl(QStringLiteral("https://www.arvex.example.com/"));
    case 1: return QUrl(QStringLiteral("https://www.arvex.example.com/pl/"));
    case 2: return QUrl(QStringLiteral("https://www.arvex.example.com/de/"));
    case 3: return QUrl(QStringLiteral("https://www.arvex.example.com/fr/"));
    case 4: return QUrl(QStringLiteral("https://www.arvex.example.com/es/"));
    case 5: return QUrl(QStringLiteral("https://www.arvex.example.com/ru/"));
    default: return QUrl(); // Italian: no site of its own
    }
}
QUrl TFormKontakt::facebookPage() { return QUrl(QStringLiteral("https://social.example.net/facebook/arvextechnology")); }
QUrl TFormKontakt::linkedInPage() { return QUrl(QStringLiteral("https://social.example.net/linkedin/company/arvex-technology")); }
QUrl TFormKontakt::youTubeChannel() { return QUrl(QStringLiteral("https://social.example.net/youtube/@arvextechnology")); }
QUrl TFormKontakt::instagramProfile() { return QUrl(QStringLiteral("https://social.example.net/instagram/arvex.technology")); }

void TFormKontakt::setUrlOpener(UrlOpener opener) { urlOpener() = std::move(opener); }

void TFormKontakt::open(const QUrl &url)
{
    // A failing open (no browser, no mail program) reports nothing; the window stays.
    if (urlOpener())
        urlOpener()(url);
    else
        QDesktopServices::openUrl(url);
}

TFormKontakt::TFormKontakt(QWidget *parent)
    : TSmallForm(parent, QStringLiteral("FormKontakt"),
                 {QSize(347, 362), QColor(225, 241, 251), QColor(128, 64, 64), QColor(237, 237, 237), 16, true,
                  true, false})
{
    constexpr int Border = 3; // inner border
    const int inner = width() - 2 * Border;

    auto text = [this](const char *name, const QString &t, QRect r, Qt::Alignment align) {
        auto *l = new QLabel(t, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(r);
        l->setAlignment(align);
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    auto image = [this](const char *name, const QString &art, QRect r) {
        auto *l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(r);
        l->setPixmap(picture(art, r.size()));
        return l;
    };

    imgPL = image("imgPL", QStringLiteral("logo"), QRect((width() - 210) / 2, Border + 12, 210, 42));
    LabelPL = text("LabelPL", companyAddressLines(), QRect(Border + 6, 66, inner - 12, 64), Qt::AlignCenter);
    LabelINT = text("LabelINT", companyAddressLines() + QLatin1Char('\n') + countryLine(),
                    QRect(Border + 6, 66, inner - 12, 64), Qt::AlignCenter);

    constexpr int IconX = 34, TextX = 68, RowH = 26;
    auto row = [](int n) { return 142 + n * 34; };
    Image7 = image("Image7", QStringLiteral("phone"), QRect(IconX, row(0), 26, 26));
    LabelPLtel = text("LabelPLtel", domesticTelephone(), QRect(TextX, row(0), 250, RowH), Qt::AlignLeft | Qt::AlignVCenter);
    LabelINTtel = text("LabelINTtel", internationalTelephone(), QRect(TextX, row(0), 250, RowH),
                       Qt::AlignLeft | Qt::AlignVCenter);
    Image3 = image("Image3", QStringLiteral("home"), QRect(IconX, row(1), 26, 26));
    Label3pl = text("Label3pl", domesticWebAddress(), QRect(TextX, row(1), 250, RowH), Qt::AlignLeft | Qt::AlignVCenter);
    Label3int = text("Label3int", internationalWebAddress(), QRect(TextX, row(1), 250, RowH),
                     Qt::AlignLeft | Qt::AlignVCenter);
    Image6 = image("Image6", QStringLiteral("mail"), QRect(IconX, row(2), 26, 26));
    Label4 = text("Label4", mailAddress(), QRect(TextX, row(2), 250, RowH), Qt::AlignLeft | Qt::AlignVCenter);

    // The four social pages, centred in one row.
    constexpr int Social = 32, Gap = 22;
    const int socialX = (width() - (4 * Social + 3 * Gap)) / 2;
    const int socialY = row(3) + 8;
    Image4 = image("Image4", QStringLiteral("facebook"), QRect(socialX, socialY, Social, Social));
    Image5 = image("Image5", QStringLiteral("linkedin"), QRect(socialX + (Social + Gap), socialY, Social, Social));
    Image8 = image("Image8", QStringLiteral("youtube"), QRect(socialX + 2 * (Social + Gap), socialY, Social, Social));
    Image1 = image("Image1", QStringLiteral("instagram"), QRect(socialX + 3 * (Social + Gap), socialY, Social, Social));

    BitBtn1 = glyphButton("BitBtn1", QStringLiteral("OK"), "ok",
                          QRect((width() - 120) / 2, height() - Border - 12 - 40, 120, 40));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(mrOk); });

    for (QLabel *l : {Image3, Label3pl, Label3int, Image6, Label4, Image4, Image5, Image8, Image1}) {
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
    }
    for (QLabel *l : {Label3pl, Label3int, Label4}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, QColor(0, 70, 160));
        l->setPalette(p);
    }
    FormShow();
}

int TFormKontakt::languageNumber() const
{
    if (languageNumber_)
        return languageNumber_();
    return MainDivIVForm ? MainDivIVForm->GetActLangNbr() : 0;
}

void TFormKontakt::showEvent(QShowEvent *event)
{
    FormShow();
    TSmallForm::showEvent(event);
}

void TFormKontakt::FormShow()
{
    const bool polish = languageNumber() == 1;
    LabelPL->setVisible(polish);
    LabelPLtel->setVisible(polish);
    Label3pl->setVisible(polish);
    LabelINT->setVisible(!polish);
    LabelINTtel->setVisible(!polish);
    Label3int->setVisible(!polish);
}

void TFormKontakt::Label3intClick()
{
    const QUrl site = webSite(languageNumber());
    if (!site.isEmpty())
        open(site);
}

void TFormKontakt::Label4Click() { open(QUrl(QStringLiteral("mailto:") + mailAddress())); }
void TFormKontakt::Image4Click() { open(facebookPage()); }
void TFormKontakt::Image5Click() { open(linkedInPage()); }
void TFormKontakt::Image8Click() { open(youTubeChannel()); }
void TFormKontakt::Image1Click() { open(instagramProfile()); }

bool TFormKontakt::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        auto *w = qobject_cast<QWidget *>(watched);
        if (me->button() == Qt::LeftButton && w && w->rect().contains(me->position().toPoint())) {
            if (w == Label3int || w == Label3pl || w == Image3)
                Label3intClick();
            else if (w == Label4 || w == Image6)
                Label4Click();
            else if (w == Image4)
                Image4Click();
            else if (w == Image5)
                Image5Click();
            else if (w == Image8)
                Image8Click();
            else if (w == Image1)
                Image1Click();
            return true;
        }
    }
    return TSmallForm::eventFilter(watched, event);
}
