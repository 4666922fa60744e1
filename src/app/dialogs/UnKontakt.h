#pragma once

#include "app/dialogs/SmallForm.h"

#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

// The contact window: the maker's logo, postal address, telephone, web site, mail address and
// social pages. In Polish (language number 1) it shows the domestic address, telephone and web
// address, in every other language the international ones. Clicks open their targets through
// the desktop's URL handler. No translation client: the texts stay as they are.
class TFormKontakt : public TSmallForm {
    Q_OBJECT
public:
    explicit TFormKontakt(QWidget *parent = nullptr);

    QLabel *imgPL = nullptr;       // logo
    QLabel *LabelPL = nullptr;     // address, two lines (Polish)
    QLabel *LabelINT = nullptr;    // address with the country (other languages)
    QLabel *Image7 = nullptr;      // telephone icon
    QLabel *LabelPLtel = nullptr;  // telephone, domestic form
    QLabel *LabelINTtel = nullptr; // telephone, international form
    QLabel *Image3 = nullptr;      // home page icon
    QLabel *Label3pl = nullptr;    // web address for Poland
    QLabel *Label3int = nullptr;   // international web address
    QLabel *Image6 = nullptr;      // mail icon
    QLabel *Label4 = nullptr;      // mail address
    QLabel *Image4 = nullptr;      // Facebook
    QLabel *Image5 = nullptr;      // LinkedIn
    QLabel *Image8 = nullptr;      // YouTube
    QLabel *Image1 = nullptr;      // Instagram
    QPushButton *BitBtn1 = nullptr; // OK

    void FormShow();
    void Label3intClick(); // web site of the language in force (none for Italian)
    void Label4Click();    // new mail
    void Image4Click();    // Facebook
    void Image5Click();    // LinkedIn
    void Image8Click();    // YouTube
    void Image1Click();    // Instagram

    // The maker's contact data.
    static QString companyAddressLines();  // name and postal address, two lines
    static QString countryLine();
    static QString domesticTelephone();
    static QString internationalTelephone();
    static QString domesticWebAddress();      // as shown
    static QString internationalWebAddress(); // as shown
    static QString mailAddress();
    // The web site opened for a language number; empty for Italian (6).
    static QUrl webSite(int languageNumber);
    static QUrl facebookPage();
    static QUrl linkedInPage();
    static QUrl youTubeChannel();
    static QUrl instagramProfile();

    // Where links go: the desktop's URL handler unless replaced (tests record them).
    using UrlOpener = std::function<void(const QUrl &)>;
    static void setUrlOpener(UrlOpener opener); // empty: the desktop's handler again
    // Where the language number comes from: the main window unless replaced.
    void setLanguageNumberSource(std::function<int()> source) { languageNumber_ = std::move(source); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    int languageNumber() const;
    static void open(const QUrl &url);

    std::function<int()> languageNumber_;
};
