#pragma once

#include "app/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "render/imagesurface.h"
#include "render/renderer.h"

#include <QWidget>

class QComboBox;
class StyleComboBox;
class QLabel;
class QLineEdit;
class ImageArea;
class PictureBox;
class Platform;

inline const QString MakerHomePage = QStringLiteral("https://www.sorvex.example");

// The one window. It wires events to their handlers; drawing, saving and the rest live with
// their subsystems.
class frmMain : public QWidget
{
    Q_OBJECT
public:
    frmMain(const ProgramValues& values, Platform& platform, QWidget* parent = nullptr);

    DrawOutcome DrawSignature(int x, int y);
    void Redraw() { DrawSignature(NoPosition, NoPosition); }

    // Handlers, named after the control and event they serve.
    void cboFont_Click();
    void cboImg_Click();
    void cboSize_Click();
    void cboSize_KeyDown(int keyCode);
    void txtCN_Change();
    void txtEN_Change();
    void lblColorPreview_Click();
    void imgSave_Click();
    void imgPrint_Click();
    void imgLogo_Click();
    void imgUrlMore_Click();
    void imgHelp_Click();
    void imgMove_MouseDown(int button, int shift, float x, float y);
    void imgMove_MouseMove(int button, int shift, float x, float y);
    void imgMove_MouseUp(int button, int shift, float x, float y);
    void makeStylePreviews();
    // Moves the text by whole pixels, as the arrow keys on the picture do.
    void nudgeText(int dx, int dy);

    QRgb inkColor() const { return ink_; }
    const Mover& mover() const { return mover_; }
    // Background plus the last drawing, at `scale` output pixels per reference pixel; with
    // `transparent`, the drawing alone.
    QImage PersistentImage(qreal scale = 1, bool transparent = false);
    DrawInputs drawInputs() const;
    QString colorDialogResult; // result code of the last colour dialog, as decimal text
    float DragStartX = 0;
    float DragStartY = 0;
    bool IsLoading = false;

Q_SIGNALS:
    void signatureDrawn();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void Form_Load();
    void setInk(QRgb ink);
    // Draws after a person's choice; an unusable size is said.
    void drawChoice();
    // The last drawing again on another surface; the window's own picture stays as it is.
    Mover drawAgainOn(Surface& out);
    void showPicture();

    const ProgramValues& values_;
    Platform& platform_;
    Catalogue catalogue_;
    AppFontTable fonts_;
    ImageSurface surface_;
    Mover mover_;
    QRgb ink_ = 0xFF000000;
    QImage skin_;
    bool sizeEnterInProgress_ = false;
    bool previewsMade_ = false;
    struct LastDrawing
    {
        DrawInputs inputs;
        int x, y;
    };
    std::optional<LastDrawing> lastDrawing_;

    QComboBox* cboSize = nullptr;
    QComboBox* cboImg = nullptr;
    StyleComboBox* cboFont = nullptr;
    PictureBox* picMain = nullptr;
    ImageArea* imgMove = nullptr;
    QLineEdit* txtEN = nullptr;
    QLineEdit* txtCN = nullptr;
    ImageArea* imgLogo = nullptr;
    ImageArea* imgPrint = nullptr;
    ImageArea* imgSave = nullptr;
    ImageArea* imgHelp = nullptr;
    ImageArea* imgUrlMore = nullptr;
    QLabel* lblColorPreview = nullptr;
};
