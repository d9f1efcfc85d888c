#include "ui/form_main.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <filesystem>
#include <system_error>

#include "platform/gui/error_handler.h"
#include "platform/profile.h"
#include "platform/shell.h"
#include "index/search.h"
#include "ui/form2.h"

// The pictures and the cursor live in a static library's resources, which
// the linker keeps only when something refers to them.
static void InitResources() { Q_INIT_RESOURCE(fretfile); }

namespace fretfile {
namespace {

constexpr int kClientWidth = 580;
constexpr int kClientHeight = 382;

QFont WindowFont() {
  // The window's font: "MS Sans Serif" 11 pixels high. Linux lacks it; the
  // layout's sizes were drawn for its narrow metrics, which Liberation Sans
  // (Arial's metrics) keeps closest, before the default sans font.
  static const bool substituted = [] {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
    return true;
  }();
  (void)substituted;
  QFont font = QApplication::font();
  font.setFamily(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  font.setBold(false);
  return font;
}

void Place(QWidget* widget, int left, int top, int width, int height) { widget->setGeometry(left, top, width, height); }

void PlaceAtNaturalSize(QWidget* widget, int left, int top) {
  widget->adjustSize();
  widget->move(left, top);
}

QPalette BlueText(QPalette palette) {
  palette.setColor(QPalette::Text, Qt::blue);
  return palette;
}

}  // namespace

TFormMain::TFormMain(std::string appDir, QWidget* parent) : QMainWindow(parent), AppDir_(std::move(appDir)) {
  InitResources();
  setObjectName(QStringLiteral("FormMain"));
  setWindowTitle(QStringLiteral("Fretfile 1.5"));
  setWindowIcon(QIcon(QStringLiteral(":/fretfile/fretfile.xpm")));
  setFont(WindowFont());
  QPalette silver = palette();
  silver.setColor(QPalette::Window, QColor(192, 192, 192));
  setPalette(silver);

  CreateControls();
  CreateMenus();
  SetTabOrder();
  CreateRebuildComponents();

  // Fixed border: the user cannot resize the window.
  centralWidget()->setFixedSize(kClientWidth, kClientHeight);
  adjustSize();
  setFixedSize(size());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  platform::RunReportingErrors([this] { FormCreate(); });
  // The external viewer chooser is made once, hidden, and runs its own start-up.
  Form2 = new TForm2(AppDir_, this);
  Artistname->setFocus();
}

TFormMain::~TFormMain() { DestroyRebuildComponents(); }

void TFormMain::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setAutoFillBackground(true);
  setCentralWidget(client);

  StringGrid = new StringGridView(client);
  StringGrid->setObjectName(QStringLiteral("StringGrid"));
  Place(StringGrid, 0, 0, kClientWidth, 233);
  StringGrid->SetDrawCellHandler([this](QPainter& painter, int column, int row, const QRect& rect, bool selected) {
    StringGridDrawCell(painter, column, row, rect, selected);
  });
  StringGrid->installEventFilter(this);
  connect(StringGrid, &QTableView::doubleClicked, this,
          [this] { platform::RunReportingErrors([this] { DBGrid1DblClick(); }); });

  GroupBox1 = new QGroupBox(QStringLiteral("Search Criteria"), client);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  QFont bold = WindowFont();
  bold.setBold(true);
  GroupBox1->setFont(bold);
  // A frame with the title set into its top line, whose client area starts
  // at the box's top-left corner.
  GroupBox1->setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px; padding: 0 2px; }"));
  Place(GroupBox1, 8, 235, 562, 74);

  // The group box's client area starts below its title.
  auto* group = new QWidget(GroupBox1);
  group->setObjectName(QStringLiteral("GroupBox1Client"));
  Place(group, 0, 0, 562, 74);
  const QFont regular = WindowFont();

  Label1 = new QLabel(QStringLiteral("Artist Name"), group);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(regular);
  PlaceAtNaturalSize(Label1, 16, 13);
  Label2 = new QLabel(QStringLiteral("Song Title"), group);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setFont(regular);
  PlaceAtNaturalSize(Label2, 238, 13);

  Artistname = new QLineEdit(group);
  Artistname->setObjectName(QStringLiteral("Artistname"));
  Artistname->setFont(regular);
  Artistname->setPalette(BlueText(Artistname->palette()));
  Place(Artistname, 16, 29, 209, 21);
  Artistname->installEventFilter(this);

  Songname = new QLineEdit(group);
  Songname->setObjectName(QStringLiteral("Songname"));
  Songname->setFont(regular);
  Songname->setPalette(BlueText(Songname->palette()));
  Place(Songname, 238, 29, 232, 21);
  Songname->installEventFilter(this);

  ExactArt = new QCheckBox(QStringLiteral("Exact Match"), group);
  ExactArt->setObjectName(QStringLiteral("ExactArt"));
  ExactArt->setFont(regular);
  Place(ExactArt, 16, 53, 97, 17);
  ExactSong = new QCheckBox(QStringLiteral("Exact Match"), group);
  ExactSong->setObjectName(QStringLiteral("ExactSong"));
  ExactSong->setFont(regular);
  Place(ExactSong, 238, 53, 97, 17);

  Searchbutton = new QPushButton(QStringLiteral("&Search"), group);
  Searchbutton->setObjectName(QStringLiteral("Searchbutton"));
  Searchbutton->setFont(bold);
  Place(Searchbutton, 480, 28, 75, 25);
  connect(Searchbutton, &QPushButton::clicked, this,
          [this] { platform::RunReportingErrors([this] { SearchButtonClick(); }); });

  Image1 = new QLabel(client);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(QPixmap(QStringLiteral(":/fretfile/image1.xpm")));
  Image1->setScaledContents(true);
  Place(Image1, 11, 312, 73, 49);
  Image1->installEventFilter(this);

  InternalViewer = new QCheckBox(QStringLiteral("Use Internal Viewer"), client);
  InternalViewer->setObjectName(QStringLiteral("InternalViewer"));
  InternalViewer->setChecked(true);
  Place(InternalViewer, 142, 332, 121, 17);

  indexbutton = new QPushButton(QStringLiteral("Rebuild Index"), client);
  indexbutton->setObjectName(QStringLiteral("indexbutton"));
  Place(indexbutton, 408, 318, 75, 25);
  connect(indexbutton, &QPushButton::clicked, this,
          [this] { platform::RunReportingErrors([this] { IndexButtonClick(); }); });

  Exitbutton = new QPushButton(QStringLiteral("E&xit"), client);
  Exitbutton->setObjectName(QStringLiteral("Exitbutton"));
  Place(Exitbutton, 496, 318, 75, 25);
  connect(Exitbutton, &QPushButton::clicked, this,
          [this] { platform::RunReportingErrors([this] { ExitButtonClick(); }); });

  Label3 = new QLabel(QStringLiteral("Your songbook, kept in zip archives"), client);
  Label3->setObjectName(QStringLiteral("Label3"));
  QFont small = WindowFont();
  small.setPixelSize(9);
  Label3->setFont(small);
  Place(Label3, 399, 348, 173, 13);

  StatusBar = new QStatusBar(client);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setSizeGripEnabled(false);
  Place(StatusBar, 0, 363, kClientWidth, 19);
}

void TFormMain::CreateMenus() {
  auto* bar = new QMenuBar(this);
  bar->setObjectName(QStringLiteral("MainMenu1"));
  setMenuBar(bar);
  File1 = bar->addMenu(QStringLiteral("&File"));
  File1->setObjectName(QStringLiteral("File1"));
  Exit1 = File1->addAction(QStringLiteral("E&xit"));
  Exit1->setObjectName(QStringLiteral("Exit1"));
  // The menu's Exit ends the program the way the Exit button does.
  connect(Exit1, &QAction::triggered, this, [this] { platform::RunReportingErrors([this] { ExitButtonClick(); }); });
  Options1 = bar->addMenu(QStringLiteral("&Options"));
  Options1->setObjectName(QStringLiteral("Options1"));
  InternalViewer1 = Options1->addAction(QStringLiteral("External Viewer"));
  InternalViewer1->setObjectName(QStringLiteral("InternalViewer1"));
  connect(InternalViewer1, &QAction::triggered, this,
          [this] { platform::RunReportingErrors([this] { InternalViewer1Click(); }); });
}

void TFormMain::SetTabOrder() {
  const QList<QWidget*> order{Artistname, Songname, ExactArt, ExactSong, Searchbutton,
                              InternalViewer, StringGrid, Exitbutton, indexbutton};
  for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
}

void TFormMain::FormCreate() {
  std::error_code ignored;
  std::filesystem::create_directory(AppDir_ + "temp", ignored);

  WriteGridHeaders(StringGrid->Cells());
  StringGrid->Model()->Refresh();

  const std::string ini = AppDir_ + "kest.ini";
  if (std::filesystem::exists(ini, ignored)) {
    const std::string name = platform::GetPrivateProfileString("Ext Viewers", "Name", "Error", ini);
    const std::string path = platform::GetPrivateProfileString("Ext Viewers", "Path", "Error", ini);
    ViewerCommand_ = path + name;
  }
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    const bool enter = keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter;
    const int key = enter ? 13 : keyEvent->key();
    if (type == QEvent::KeyPress && watched == Artistname) {
      platform::RunReportingErrors([&] { ArtistnameKeyDown(key); });
    } else if (type == QEvent::KeyPress && watched == Songname) {
      platform::RunReportingErrors([&] { SongnameKeyDown(key); });
    } else if (type == QEvent::KeyRelease && watched == StringGrid && !keyEvent->isAutoRepeat()) {
      platform::RunReportingErrors([&] { StringGridKeyUp(key); });
    }
  } else if (type == QEvent::MouseButtonDblClick && watched == Image1) {
    platform::RunReportingErrors([this] { Image1DblClick(); });
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TFormMain::ArtistnameKeyDown(int key) {
  if (key == 13) SearchButtonClick();
}

void TFormMain::SongnameKeyDown(int key) {
  if (key == 13) SearchButtonClick();
}

void TFormMain::StringGridDrawCell(QPainter& painter, int column, int row, const QRect& rect, bool selected) {
  (void)selected;  // the background, selection colours included, is already painted
  const QString text = ToQString(StringGrid->Cells().Cell(column, row));
  QFont font = StringGrid->font();
  font.setBold(row == 0);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  const int verticalOffset = (rect.height() - metrics.height()) / 2;
  const int horizontalOffset = row == 0 ? (rect.width() - metrics.horizontalAdvance(text)) / 2 : 0;
  painter.save();
  painter.setClipRect(rect);
  painter.drawText(QPoint(rect.left() + horizontalOffset, rect.top() + verticalOffset + metrics.ascent()), text);
  painter.restore();
}

void TFormMain::Image1DblClick() {
  StringGrid->Cells().ClearCells();
  StringGrid->Model()->Refresh();
  StringGrid->horizontalHeader()->viewport()->update();
}

void TFormMain::ExitButtonClick() {
  const std::string temp = AppDir_ + "temp";
  std::error_code ignored;
  if (std::filesystem::is_directory(temp, ignored)) platform::ShellRemoveTree(temp);
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

QString TFormMain::StatusText() const { return StatusBar->currentMessage(); }

void TFormMain::SetStatusText(const QString& text) { StatusBar->showMessage(text); }

QObject* TFormMain::FindComponent(const QString& name) const {
  for (QObject* component : components_) {
    if (component->objectName().compare(name, Qt::CaseInsensitive) == 0) return component;
  }
  return nullptr;
}

void TFormMain::AddComponent(QObject* component) { components_.push_back(component); }

void TFormMain::RemoveComponent(QObject* component) { std::erase(components_, component); }

}  // namespace fretfile
