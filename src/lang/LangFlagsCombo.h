#pragma once

#include <QComboBox>
#include <QPointer>

#include "lang/LangMan.h"

namespace arvex::lang {


// The language box: one entry per language of the engine's list, in the same order, each
// with its flag and its name, so that the box's position i is the engine's language i.
//
// A choice of the user raises Click first and then, when the chosen language is not the one
// in force, switches the engine to it.
class TLangFlagsCombo : public QComboBox {
    Q_OBJECT
public:
    static constexpr int FlagWidth = 24;
    static constexpr int FlagHeight = 16;

    explicit TLangFlagsCombo(QWidget *parent = nullptr);

    // Shows the engine's languages (again); the selection is cleared.
    void setEngine(TLangManEngine *engine);
    TLangManEngine *engine() const { return engine_; }

    // The flag picture of a language file's flag entry; a neutral tile with the code where
    // the picture is missing or unreadable.
    static QPixmap flagPixmap(const QString &flagPath, const QString &isoCode, QSize size);

signals:
    void Click();

private:
    void chosen(int index);

    QPointer<TLangManEngine> engine_;
};

} // namespace arvex::lang
