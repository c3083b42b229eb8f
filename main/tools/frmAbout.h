#pragma once

#include <QDialog>

namespace zqvtools {

// "Version 1.1.0" from the three version numbers.
[[nodiscard]] QString versionText(int major, int minor, int revision);

// The About window: name, version, the product's address as a link, publisher.
class frmAbout : public QDialog
{
public:
    // `address` is what the link opens (the installed help page until the
    // product has a public site).
    frmAbout(const QString& address, QWidget* parent = nullptr);
};

} // namespace zqvtools
