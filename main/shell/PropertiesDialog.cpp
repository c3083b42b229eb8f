#include "PropertiesDialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include "FileTypes.h"
#include "ShellNamespace.h"

namespace zqvshell {

namespace {

QString dateText(const struct timespec& time)
{
    const QDateTime when = QDateTime::fromSecsSinceEpoch(time.tv_sec);
    return QLocale().toString(when, QLocale::LongFormat);
}

QLabel* value(QWidget* parent, const QString& text, const char* name)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return label;
}

} // namespace

QString permissionText(unsigned mode)
{
    static const char letters[] = "rwxrwxrwx";
    QString text;
    for (int bit = 0; bit < 9; ++bit) {
        text += (mode & (0400U >> bit)) != 0 ? QLatin1Char(letters[bit]) : QLatin1Char('-');
    }
    return text;
}

PropertiesDialog::PropertiesDialog(QWidget* parent, const ShellItem& item, const QByteArray& path)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmProperties"));
    setWindowTitle(item.displayName + QStringLiteral(" Properties"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), value(this, item.displayName, "lblName"));
    form->addRow(QStringLiteral("Type:"),
                 value(this, item.type != nullptr ? item.type->typeName : QString(), "lblType"));
    auto* location = value(this, readablePath(path), "lblPath");
    location->setWordWrap(true);
    form->addRow(QStringLiteral("Location:"), location);
    struct stat st
    {
    };
    if (!path.isEmpty() && ::stat(path.constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            const QString size = QLocale().toString(static_cast<qlonglong>(st.st_size)) + QStringLiteral(" bytes");
            form->addRow(QStringLiteral("Size:"), value(this, size, "lblSize"));
        }
        form->addRow(QStringLiteral("Modified:"), value(this, dateText(st.st_mtim), "lblModified"));
        form->addRow(QStringLiteral("Accessed:"), value(this, dateText(st.st_atim), "lblAccessed"));
        form->addRow(QStringLiteral("Status changed:"), value(this, dateText(st.st_ctim), "lblChanged"));
        const QString permissions =
            permissionText(st.st_mode) + QStringLiteral(" (%1)").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
        form->addRow(QStringLiteral("Permissions:"), value(this, permissions, "lblPermissions"));
        const passwd* owner = ::getpwuid(st.st_uid);
        const group* grp = ::getgrgid(st.st_gid);
        const QString ownerText =
            (owner != nullptr ? QString::fromLocal8Bit(owner->pw_name) : QString::number(st.st_uid)) +
            QLatin1Char(':') + (grp != nullptr ? QString::fromLocal8Bit(grp->gr_name) : QString::number(st.st_gid));
        form->addRow(QStringLiteral("Owner:"), value(this, ownerText, "lblOwner"));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

} // namespace zqvshell
