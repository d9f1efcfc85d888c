#include "ui/form_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <filesystem>
#include <system_error>

#include "index/collection.h"
#include "index/search.h"
#include "platform/gui/error_handler.h"
#include "platform/posix/shell.h"
#include "ui/external_edits.h"
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

// Makes a control with its name on the window, its font and its place
// (left, top, width, height; a width of 0 keeps its natural size).
template <typename Control, typename... Args>
Control* Make(QWidget* parent, const char* name, const QFont& font, QRect place, Args&&... args) {
  auto* control = new Control(std::forward<Args>(args)..., parent);
  control->setObjectName(QString::fromLatin1(name));
  control->setFont(font);
  if (place.width() == 0) {
    control->adjustSize();
    place.setSize(control->size());
  }
  control->setGeometry(place);
  return control;
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
  SetTabOrder();
  CreateRebuildComponents();
  CreateZipUpdater();
  externalEdits_ = new ExternalEdits(this);
  connect(externalEdits_, &ExternalEdits::ChangeWaiting, this, &TFormMain::AskAboutExternalChanges);
  // A change made while the user works in another program is asked about
  // when they come back.
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive) AskAboutExternalChanges();
  });
  draftTimer_.setSingleShot(true);
  draftTimer_.setInterval(1000);
  connect(&draftTimer_, &QTimer::timeout, this, [this] { platform::RunReportingErrors([this] { WriteDrafts(); }); });

  // Fixed border: the user cannot resize the window.
  centralWidget()->setFixedSize(kClientWidth, kClientHeight);
  adjustSize();
  setFixedSize(size());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  platform::RunReportingErrors([this] { FormCreate(); });
  // The external viewer chooser is made once, hidden, and runs its own
  // start-up; without a collection, once one is chosen.
  if (!AppDir_.empty()) Form2 = new TForm2(AppDir_, this);
  Artistname->setFocus();
}

TFormMain::~TFormMain() {
  // A running rebuild is waited for below; it stops at its next entry, and
  // meanwhile no frozen window is left on the screen.
  StopRebuild();
  hide();
  DestroyZipUpdater();
  DestroyRebuildComponents();
}

void TFormMain::CreateControls() {
  // Every handler runs through the general error handler.
  const auto handled = [this](void (TFormMain::*handler)()) {
    return [this, handler] { platform::RunReportingErrors([this, handler] { (this->*handler)(); }); };
  };
  const QFont regular = WindowFont();
  QFont bold = regular;
  bold.setBold(true);
  QFont small = regular;
  small.setPixelSize(9);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setAutoFillBackground(true);
  setCentralWidget(client);

  StringGrid = Make<StringGridView>(client, "StringGrid", regular, {0, 0, kClientWidth, 233});
  StringGrid->SetDrawCellHandler([this](QPainter& painter, int column, int row, const QRect& rect, bool selected) {
    StringGridDrawCell(painter, column, row, rect, selected);
  });
  StringGrid->installEventFilter(this);
  connect(StringGrid, &StringGridView::DblClick, this, handled(&TFormMain::DBGrid1DblClick));

  GroupBox1 = Make<QGroupBox>(client, "GroupBox1", bold, {8, 235, 562, 74}, QStringLiteral("Search Criteria"));
  // A frame with the title set into its top line, whose client area starts
  // at the box's top-left corner.
  GroupBox1->setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px; padding: 0 2px; }"));
  auto* group = Make<QWidget>(GroupBox1, "GroupBox1Client", bold, {0, 0, 562, 74});

  Label1 = Make<QLabel>(group, "Label1", regular, {16, 13, 0, 0}, QStringLiteral("Artist Name"));
  Label2 = Make<QLabel>(group, "Label2", regular, {238, 13, 0, 0}, QStringLiteral("Song Title"));
  Artistname = Make<QLineEdit>(group, "Artistname", regular, {16, 29, 209, 21});
  Songname = Make<QLineEdit>(group, "Songname", regular, {238, 29, 232, 21});
  for (QLineEdit* box : {Artistname, Songname}) {
    box->setPalette(BlueText(box->palette()));
    box->installEventFilter(this);
  }
  ExactArt = Make<QCheckBox>(group, "ExactArt", regular, {16, 53, 97, 17}, QStringLiteral("Exact Match"));
  ExactSong = Make<QCheckBox>(group, "ExactSong", regular, {238, 53, 97, 17}, QStringLiteral("Exact Match"));
  Searchbutton = Make<QPushButton>(group, "Searchbutton", bold, {480, 28, 75, 25}, QStringLiteral("&Search"));
  connect(Searchbutton, &QPushButton::clicked, this, handled(&TFormMain::SearchButtonClick));

  Image1 = Make<QLabel>(client, "Image1", regular, {11, 312, 73, 49});
  Image1->setPixmap(QPixmap(QStringLiteral(":/fretfile/image1.xpm")));
  Image1->setScaledContents(true);
  Image1->installEventFilter(this);

  InternalViewer =
      Make<QCheckBox>(client, "InternalViewer", regular, {142, 332, 121, 17}, QStringLiteral("Use Internal Viewer"));
  InternalViewer->setChecked(true);
  indexbutton = Make<QPushButton>(client, "indexbutton", regular, {408, 318, 75, 25}, QStringLiteral("Rebuild Index"));
  connect(indexbutton, &QPushButton::clicked, this, handled(&TFormMain::IndexButtonClick));
  Exitbutton = Make<QPushButton>(client, "Exitbutton", regular, {496, 318, 75, 25}, QStringLiteral("E&xit"));
  connect(Exitbutton, &QPushButton::clicked, this, handled(&TFormMain::ExitButtonClick));
  Label3 = Make<QLabel>(client, "Label3", small, {399, 348, 173, 13},
                        QStringLiteral("Your songbook, kept in zip archives"));

  StatusBar = Make<QStatusBar>(client, "StatusBar", regular, {0, 363, kClientWidth, 19});
  StatusBar->setSizeGripEnabled(false);

  auto* bar = new QMenuBar(this);
  bar->setObjectName(QStringLiteral("MainMenu1"));
  setMenuBar(bar);
  File1 = bar->addMenu(QStringLiteral("&File"));
  File1->setObjectName(QStringLiteral("File1"));
  ChooseCollectionFolder1 = File1->addAction(QStringLiteral("Choose Collection Folder..."));
  ChooseCollectionFolder1->setObjectName(QStringLiteral("ChooseCollectionFolder1"));
  connect(ChooseCollectionFolder1, &QAction::triggered, this, handled(&TFormMain::ChooseCollectionFolder1Click));
  FindInLyrics1 = File1->addAction(QStringLiteral("Find in Lyrics..."));
  FindInLyrics1->setObjectName(QStringLiteral("FindInLyrics1"));
  FindInLyrics1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  connect(FindInLyrics1, &QAction::triggered, this, handled(&TFormMain::FindInLyrics1Click));
  File1->addSeparator();
  AddSongs1 = File1->addAction(QStringLiteral("Add Songs..."));
  AddSongs1->setObjectName(QStringLiteral("AddSongs1"));
  connect(AddSongs1, &QAction::triggered, this, handled(&TFormMain::AddSongs1Click));
  // F2 and Delete act on the grid's rows only while the grid has the focus:
  // in a search box they edit the text.
  RenameSong1 = File1->addAction(QStringLiteral("Rename Song..."));
  RenameSong1->setObjectName(QStringLiteral("RenameSong1"));
  RenameSong1->setShortcut(QKeySequence(Qt::Key_F2));
  RenameSong1->setShortcutContext(Qt::WidgetShortcut);
  connect(RenameSong1, &QAction::triggered, this, handled(&TFormMain::RenameSong1Click));
  DeleteSong1 = File1->addAction(QStringLiteral("Delete Song"));
  DeleteSong1->setObjectName(QStringLiteral("DeleteSong1"));
  DeleteSong1->setShortcut(QKeySequence(QKeySequence::Delete));
  DeleteSong1->setShortcutContext(Qt::WidgetShortcut);
  connect(DeleteSong1, &QAction::triggered, this, handled(&TFormMain::DeleteSong1Click));
  StringGrid->addActions({AddSongs1, RenameSong1, DeleteSong1});
  StringGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
  setAcceptDrops(true);
  File1->addSeparator();
  Exit1 = File1->addAction(QStringLiteral("E&xit"));
  Exit1->setObjectName(QStringLiteral("Exit1"));
  // The menu's Exit ends the program the way the Exit button does.
  connect(Exit1, &QAction::triggered, this, handled(&TFormMain::ExitButtonClick));
  Options1 = bar->addMenu(QStringLiteral("&Options"));
  Options1->setObjectName(QStringLiteral("Options1"));
  InternalViewer1 = Options1->addAction(QStringLiteral("External Viewer"));
  InternalViewer1->setObjectName(QStringLiteral("InternalViewer1"));
  connect(InternalViewer1, &QAction::triggered, this, handled(&TFormMain::InternalViewer1Click));
}

void TFormMain::SetTabOrder() {
  const QList<QWidget*> order{Artistname, Songname, ExactArt, ExactSong, Searchbutton,
                              InternalViewer, StringGrid, Exitbutton, indexbutton};
  for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
}

void TFormMain::FormCreate() {
  // Without a collection folder nothing is created or read.
  std::error_code ignored;
  if (!AppDir_.empty()) std::filesystem::create_directory(TempFolderOf(AppDir_), ignored);

  WriteGridHeaders(StringGrid->Cells());
  StringGrid->Model()->Refresh();

  if (AppDir_.empty()) {
    SetStatusText(QString::fromLatin1(kNoCollectionText));
  } else if (SettingsFileExists(AppDir_)) {
    ViewerCommand_ = ReadViewerSetting(AppDir_).Command();
  }
  NoticeChangedArchives();
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

bool TFormMain::PutOffEndWhileSaving(const std::function<void()>& end) {
  if (!ArchiveBusy()) return false;
  if (!endPending_) {
    endPending_ = true;
    SetStatusText(QStringLiteral("Fretfile ends when the save has ended."));
    archiveWork_.WhenIdle([this, end] {
      endPending_ = false;
      end();
    });
  }
  return true;
}

void TFormMain::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    platform::RunReportingErrors([this] { NoticeChangedArchives(); });
  }
  QMainWindow::changeEvent(event);
}

void TFormMain::closeEvent(QCloseEvent* event) {
  // A save that runs (and those that wait) end first; the window closes
  // after them.
  if (PutOffEndWhileSaving([this] { close(); })) {
    event->ignore();
    return;
  }
  // Changes not yet in their archive: one question for all of them.
  switch (AnswerForUnsavedChanges([this] { close(); })) {
    case EndAnswer::Stay:
    case EndAnswer::Saving:
      event->ignore();
      return;
    case EndAnswer::GoOn:
      break;
  }
  StopRebuild();
  QMainWindow::closeEvent(event);
}

void TFormMain::ExitButtonClick() {
  // temp/ holds the file a running save hands to the library: the exit
  // waits for every save to end.
  if (PutOffEndWhileSaving([this] { ExitButtonClick(); })) return;
  // temp/ goes only once every change in it has been answered for.
  if (AnswerForUnsavedChanges([this] { ExitButtonClick(); }) != EndAnswer::GoOn) return;
  StopRebuild();
  const std::string temp = TempFolderOf(AppDir_);
  std::error_code ignored;
  if (!AppDir_.empty() && std::filesystem::is_directory(temp, ignored)) platform::ShellRemoveTree(temp);
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
