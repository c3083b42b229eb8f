#pragma once

#include <QString>
#include <initializer_list>

class QCheckBox;
class QGridLayout;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace zqvgui {

// Small builders so every dialog looks and behaves alike.
QLineEdit* makeField(QWidget* parent, const QString& name);
QLineEdit* makeReadOnlyField(QWidget* parent, const QString& name);
QLineEdit* makePasswordField(QWidget* parent, const QString& name);
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption);
QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption);
// Buttons side by side at the right, in this order.
QHBoxLayout* makeButtonRow(std::initializer_list<QPushButton*> buttons);

// Label and field rows, full-width rows, and a right-aligned button row.
class FormLayout
{
public:
    explicit FormLayout(QWidget* dialog);
    void addRow(const QString& label, QWidget* field, QWidget* side = nullptr);
    void addWide(QWidget* widget);
    // An empty row that takes the height a stretched window gains.
    void addStretch();
    void addButtons(std::initializer_list<QPushButton*> buttons);

private:
    QGridLayout* m_grid;
    int m_row = 0;
};

} // namespace zqvgui
