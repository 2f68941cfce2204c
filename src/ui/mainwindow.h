#pragma once

#include "base/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "render/layout.h"
#include "shownsignature.h"

#include <QSet>
#include <memory>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class HelpWindow;
class ImageArea;
class InkSwatch;
class PictureBox;
class Platform;
class StyleComboBox;
class TextHandle;

inline const QString MakerHomePage = QStringLiteral("https://www.sorvex.example");

// The one window: what a person does with its controls, turned into drawings. Drawing, saving
// and the rest live with their subsystems.
class QCheckBox;
class SignWindow;
class DrawWindow;

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    MainWindow(const ProgramValues& values, Platform& platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    QRgb inkColor() const { return ink_; }
    // The signature shown: where its texts, its box and its ink are.
    const Layout& layout() const { return signature_.layout(); }
    // Background plus the last drawing, at `scale` output pixels per reference pixel; with
    // `transparent`, the drawing alone.
    QImage picture(qreal scale = 1, bool transparent = false);
    // The signature the boxes describe, at the size typed and centred (none where no size is
    // usable), and the background chosen.
    SignatureSpec signatureSpec() const;
    QString backgroundPath() const;
    // The size the picture shown was drawn at: the size asked, or the one a long name fits.
    double pointsDrawn() const { return signature_.shown() ? signature_.spec().points : 0; }

Q_SIGNALS:
    void signatureDrawn();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void chooseStyle();
    void chooseBackground();
    void chooseListedSize();
    void applyTypedSize();
    void nameEdited(const QString& name);
    void pickInk();
    void save();
    void print();
    void openMakersPage();
    void showHelp();
    // The document-signing window, with `document` opened in it, or asking for one.
    void signDocument(const QString& document = QString());
    // The pad for a signature written by hand.
    void drawByHand();
    void startDrag(QPointF pointer);
    void dragTo(QPointF pointer);
    void endDrag();
    void nudgeText(int dx, int dy);
    void makeStylePreviews();
    // Opens a web page, or says where it is when nothing here can open it.
    void openPage(const QUrl& url);

private:
    void createControls();
    void load();
    void setInk(QRgb ink);
    // Applies the chosen style's size cap and ink to the boxes.
    void applyStyleRule();
    // Draws the whole picture with the text's box at `at` (twips), or centred; false where the
    // size typed cannot be used.
    enum class DrawOutcome { Drawn, BadSize };
    DrawOutcome draw(std::optional<QPointF> at = std::nullopt);
    // Draws after a person's choice; an unusable size is said.
    void drawChoice();
    // Says once for each of the chosen style's font files that cannot be read.
    void sayUnusableFonts();
    void showPicture();
    // The style at `index` drawing the person's name with its own ink, on nothing.
    QImage stylePreview(int index);
    // The style of the list's row `index`: the catalogue's, or after them the one that draws
    // the signature written by hand.
    std::optional<Style> styleAt(int index) const;
    // Reads the signature kept from the pad again, and lists 手绘 while there is one.
    void loadHandDrawn();
    // Shows the size in the box and picks it in the list where the list has it.
    void setSizeText(const QString& text);
    // Says on the line below the picture at what size the name is drawn, and why.
    void showSizeUsed(const QString& asked, double used, bool refused);

    const ProgramValues& values_;
    Platform& platform_;
    Catalogue catalogue_;
    ShownSignature signature_;
    QRgb ink_ = 0xFF000000;
    std::shared_ptr<const DrawnSignature> handDrawn_;
    QImage skin_;
    bool loading_ = false;
    bool sizeEnterInProgress_ = false;
    bool previewsMade_ = false;
    // Where the pointer held the text, from the top-left of its box, in twips.
    QPointF grab_;
    QString lastGoodSize_;
    QString lastBackground_;

    QComboBox* sizeBox_ = nullptr;
    QComboBox* backgroundBox_ = nullptr;
    StyleComboBox* styleBox_ = nullptr;
    PictureBox* pictureBox_ = nullptr;
    TextHandle* textHandle_ = nullptr;
    QLineEdit* latinName_ = nullptr;
    QLineEdit* chineseName_ = nullptr;
    InkSwatch* inkPreview_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QCheckBox* wornBox_ = nullptr;
    // A window of its own, not kept above or below this one, closed with it.
    std::unique_ptr<SignWindow> signWindow_;
    std::unique_ptr<DrawWindow> drawWindow_;
    HelpWindow* helpWindow_ = nullptr;
    QSet<QString> fontsSaid_;
};
