#include "FormParts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>

namespace zqvgui {
namespace {

// Password boxes echo '*' whatever the desktop style would draw.
class StarEchoStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint,
                  const QStyleOption* option,
                  const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QStyle* starEchoStyle()
{
    // One per process, owned by the application so it goes with it.
    static QPointer<QStyle> style;
    if (style.isNull()) {
        style = new StarEchoStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

} // namespace

QLineEdit* makeField(QWidget* parent, const QString& name)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setMinimumWidth(320);
    return field;
}

QLineEdit* makeReadOnlyField(QWidget* parent, const QString& name)
{
    QLineEdit* field = makeField(parent, name);
    field->setReadOnly(true);
    return field;
}

QLineEdit* makePasswordField(QWidget* parent, const QString& name)
{
    QLineEdit* field = makeField(parent, name);
    field->setEchoMode(QLineEdit::Password);
    field->setStyle(starEchoStyle());
    return field;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(false);
    return box;
}

FormLayout::FormLayout(QWidget* dialog)
    : m_grid(new QGridLayout(dialog))
{
    m_grid->setColumnStretch(1, 1);
}

void FormLayout::addRow(const QString& label, QWidget* field, QWidget* side)
{
    auto* text = new QLabel(label, field->parentWidget());
    text->setBuddy(field);
    m_grid->addWidget(text, m_row, 0);
    m_grid->addWidget(field, m_row, 1);
    if (side != nullptr)
        m_grid->addWidget(side, m_row, 2);
    ++m_row;
}

void FormLayout::addWide(QWidget* widget)
{
    m_grid->addWidget(widget, m_row++, 0, 1, 3);
}

void FormLayout::addStretch()
{
    m_grid->setRowStretch(m_row++, 1);
}

QHBoxLayout* makeButtonRow(std::initializer_list<QPushButton*> buttons)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* button : buttons)
        row->addWidget(button);
    return row;
}

void FormLayout::addButtons(std::initializer_list<QPushButton*> buttons)
{
    m_grid->addLayout(makeButtonRow(buttons), m_row++, 0, 1, 3);
}

} // namespace zqvgui
