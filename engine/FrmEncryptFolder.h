#pragma once

#include <array>

#include "OperationDialog.h"
#include "ZIPLight.h"

class QLabel;
class QRadioButton;
class QSlider;

namespace engine {

// Packs a folder into a zip archive and encrypts it in one step.
class FrmEncryptFolder : public OperationDialog
{
    Q_OBJECT

public:
    FrmEncryptFolder(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    // Option 0 "Compression level:", option 1 "Do not compress"; their object
    // names carry the index: optCompress_0, optCompress_1.
    std::array<QRadioButton*, 2> optCompress{};
    QSlider* CompressionLevel = nullptr;
    QLabel* lblLevel = nullptr; // the slider's number
    QCheckBox* chkPassword = nullptr;
    QCheckBox* chkExe = nullptr;
    QCheckBox* chkRecursive = nullptr;
    QPushButton* cmdEncrypt = nullptr;
    ziplight::ZIPLight ZIPLight;

    // The level passed on: the slider's, or 0 when "Do not compress" is chosen.
    [[nodiscard]] qint16 chosenLevel() const;

    // Folders directly inside `folder`, hidden ones included.
    [[nodiscard]] static int subfolderCount(const QString& folder);

private:
    [[nodiscard]] bool operandAccepted() override;
    // With recursion off and subfolders present, asks whether packing the top
    // level only is what the user wants; No puts the focus on the box.
    [[nodiscard]] bool acceptTopLevelOnly();
    void cmdEncrypt_Click();
    void optCompress_Click();
};

} // namespace engine
