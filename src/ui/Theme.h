#pragma once

#include "ui/ThemeColours.h"

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace pivana {

/// The panel's colours for QML, made from the application's palette and made again whenever the
/// desktop changes it (a switch between light and dark, say). What each colour is for is said in
/// `ThemeColours`.
class Theme : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool dark READ dark NOTIFY changed)
    Q_PROPERTY(QColor panel READ panel NOTIFY changed)
    Q_PROPERTY(QColor panelOpaque READ panelOpaque NOTIFY changed)
    Q_PROPERTY(QColor primary READ primary NOTIFY changed)
    Q_PROPERTY(QColor secondary READ secondary NOTIFY changed)
    Q_PROPERTY(QColor tertiary READ tertiary NOTIFY changed)
    Q_PROPERTY(QColor outline READ outline NOTIFY changed)
    Q_PROPERTY(QColor hover READ hover NOTIFY changed)
    Q_PROPERTY(QColor accent READ accent NOTIFY changed)
    Q_PROPERTY(QColor accentText READ accentText NOTIFY changed)
    Q_PROPERTY(QColor selectedFill READ selectedFill NOTIFY changed)
    Q_PROPERTY(QColor button READ button NOTIFY changed)
    Q_PROPERTY(QColor onButton READ onButton NOTIFY changed)
    Q_PROPERTY(QColor warning READ warning NOTIFY changed)
    Q_PROPERTY(QColor error READ error NOTIFY changed)
    Q_PROPERTY(QColor field READ field NOTIFY changed)
    Q_PROPERTY(QColor fieldText READ fieldText NOTIFY changed)
    Q_PROPERTY(QColor fieldEdge READ fieldEdge NOTIFY changed)
    Q_PROPERTY(QColor track READ track NOTIFY changed)
    Q_PROPERTY(QColor knob READ knob NOTIFY changed)
    Q_PROPERTY(QColor knobEdge READ knobEdge NOTIFY changed)

public:
    explicit Theme(QObject* parent = nullptr);

    bool dark() const { return m_colours.dark; }
    QColor panel() const { return m_colours.panel; }
    QColor panelOpaque() const { return m_colours.panelOpaque; }
    QColor primary() const { return m_colours.primary; }
    QColor secondary() const { return m_colours.secondary; }
    QColor tertiary() const { return m_colours.tertiary; }
    QColor outline() const { return m_colours.outline; }
    QColor hover() const { return m_colours.hover; }
    QColor accent() const { return m_colours.accent; }
    QColor accentText() const { return m_colours.accentText; }
    QColor selectedFill() const { return m_colours.selectedFill; }
    QColor button() const { return m_colours.button; }
    QColor onButton() const { return m_colours.onButton; }
    QColor warning() const { return m_colours.warning; }
    QColor error() const { return m_colours.error; }
    QColor field() const { return m_colours.field; }
    QColor fieldText() const { return m_colours.fieldText; }
    QColor fieldEdge() const { return m_colours.fieldEdge; }
    QColor track() const { return m_colours.track; }
    QColor knob() const { return m_colours.knob; }
    QColor knobEdge() const { return m_colours.knobEdge; }

Q_SIGNALS:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ThemeColours m_colours;
};

}  // namespace pivana
