#pragma once

#include <array>

#include "OperationDialog.h"
#include "ZIPLight.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;

namespace engine {

// Packs a folder into a zip archive and encrypts it in one step.
class FrmEncryptFolder : public OperationDialog
{
    Q_OBJECT

public:
    FrmEncryptFolder(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    [[nodiscard]] bool load();

    QLineEdit* txtPassword1 = nullptr;
    QLineEdit* txtPassword2 = nullptr;
    QLineEdit* txtFileName = nullptr;
    QLineEdit* txtOutput = nullptr;
    QPushButton* cmdBrowse = nullptr;
    // Option 0 "Compression level:", option 1 "Do not compress"; their object
    // names carry the index: optCompress_0, optCompress_1.
    std::array<QRadioButton*, 2> optCompress{};
    QSlider* CompressionLevel = nullptr;
    QCheckBox* chkPassword = nullptr;
    QCheckBox* chkExe = nullptr;
    QCheckBox* chkRecursive = nullptr;
    QPushButton* cmdEncrypt = nullptr;
    QPushButton* cmdClose = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    ziplight::ZIPLight ZIPLight;

    // The level passed on: the slider's, or 0 when "Do not compress" is chosen.
    [[nodiscard]] qint16 chosenLevel() const;

private:
    void cmdEncrypt_Click();
    void optCompress_Click();
};

} // namespace engine
