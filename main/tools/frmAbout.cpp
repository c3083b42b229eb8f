#include "frmAbout.h"

#include <QDate>
#include <QFont>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "Miscellaneous.h"
#include "cryptelle/Version.h"

namespace zqvtools {
namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    auto* result = new QLabel(text, parent);
    result->setObjectName(QLatin1String(name));
    return result;
}

} // namespace

QString versionText(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

frmAbout::frmAbout(const QString& address, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));

    QLabel* name = label(this, "Label4", QStringLiteral("ZQV"));
    QFont nameFont(QStringLiteral("Trebuchet MS"));
    nameFont.setStyleHint(QFont::SansSerif);
    nameFont.setPointSize(26);
    nameFont.setBold(true);
    name->setFont(nameFont);

    QLabel* version =
        label(this,
              "lblVersion",
              versionText(cryptelle::kVersionMajor, cryptelle::kVersionMinor, cryptelle::kVersionRevision));
    QLabel* slogan = label(this, "Label1", QStringLiteral("Your files, for your eyes only."));
    QLabel* link = label(
        this, "Label3", QStringLiteral("<a href=\"%1\">%2</a>").arg(address.toHtmlEscaped(), address.toHtmlEscaped()));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setToolTip(address);
    connect(link, &QLabel::linkActivated, this, [](const QString& target) { OpenDocument(target); });
    QLabel* publisher = label(this, "Label2", QStringLiteral("Published by the Cryptelle developers"));
    QLabel* year = label(this, "Label5", QStringLiteral("Copyright \u00A9 2026"));

    auto* picture = label(this, "Image1", QString());
    picture->setPixmap(QPixmap(QStringLiteral(":/zqv/zqv-64.png")));

    auto* ok = new QPushButton(QStringLiteral("&Ok"), this);
    ok->setObjectName(QStringLiteral("cmdOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    for (QLabel* line : {name, version, slogan, link, publisher, year})
        text->addWidget(line);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(360, 0)));
}

} // namespace zqvtools
