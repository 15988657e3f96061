// Language modules: which files beside the program are offered, the stored
// choice, and switching menus, dialogs, accelerators and texts (Qt's own
// included) while the player runs.
#include "app/language.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/qt_translations.h"
#include "app/recent_list.h"
#include "platform/common_dialogs.h"
#include "platform/menu.h"
#include "shell_test.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using testing::fixture;
using testing::settingString;

constexpr const char* kGermanFile = "strevanaPlayer_de.lang";

// A small module: its display name and a File menu of its own.
std::string smallModule(const std::string& displayName) {
  return "[strings]\n141 = Impossible d'ouvrir\n145 = Erreur\n150 = Langue\n2000 = " + displayName +
         "\n[menu 109]\npopup = &Fichier\n  item 32771 = &Ouvrir\n  item 32786 = &Info\n  "
         "separator\n"
         "  item 105 = &Quitter\nend\npopup = &Vue\n  item 32775 = 100%\nend\n"
         "popup = &Options\n  item 32772 = &Repeter\nend\n";
}

void writeModule(const testing::ScratchFolder& folder, const std::string& fileName,
                 const std::string& text) {
  std::ofstream(folder.file(fileName), std::ios::binary) << text;
}

// "file=display name" per entry of the table.
std::vector<std::string> offered(const LanguageModuleTable& t) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < t.count; ++i)
    out.push_back(t.entries[i].fileName + "=" + t.entries[i].displayName);
  return out;
}

TEST(LanguageScanTest, OnlyNamedModulesWithADisplayNameAreOffered) {
  std::string huge = smallModule("Huge") + "[menu 171]\n";  // far past the cap on menu entries
  for (int p = 0; p < 512; ++p) {
    huge += "popup = p\n";
    for (int i = 0; i < 511; ++i) huge += "item 7 = x\n";
    huge += "end\n";
  }
  const std::string longName(254, 'a');
  const struct {
    std::map<std::string, std::string> files;
    std::vector<std::string> expected;
  } cases[] = {
      {{}, {}},
      // Other names, and modules without string 2000: a single choice is no choice.
      {{{"other_de.lang", smallModule("X")},
        {"strevanaPlayer_de.txt", smallModule("X")},
        {"StrevanaPlayer_de.lang", smallModule("X")},
        {"strevanaPlayer_de.lang.bak", smallModule("X")},
        {"strevanaPlayer_a.lang", "[strings]\n141 = Nope\n"},
        {"strevanaPlayer_b.lang", ""}},
       {}},
      {{{"strevanaPlayer_huge.lang", huge},
        {"strevanaPlayer_fr.lang", smallModule("Fran\xC3\xA7"
                                               "ais")}},
       {"application=English",
        "strevanaPlayer_fr.lang=Fran\xC3\xA7"
        "ais"}},
      // A display name is cut at 255 bytes, never inside a character.
      {{{"strevanaPlayer_.lang", smallModule(longName + "\xC3\xA4")}},
       {"application=English", "strevanaPlayer_.lang=" + longName}},
  };
  for (const auto& c : cases) {
    testing::ScratchFolder folder;
    for (const auto& [name, text] : c.files) writeModule(folder, name, text);
    LanguageModuleTable t;
    t.scan(folder.path());
    EXPECT_EQ(offered(t), c.expected);
  }
}

TEST(LanguageScanTest, TenChoicesAtMostInFileNameOrder) {
  testing::ScratchFolder folder;
  for (int i = 10; i >= 0; --i) {
    writeModule(folder, "strevanaPlayer_" + std::to_string(10 + i) + ".lang",
                smallModule(std::to_string(i)));
  }
  writeModule(folder, "strevanaPlayer_13x.lang",
              "[strings]\n141 = x\n");  // its slot goes to the next
  LanguageModuleTable t;
  t.scan(folder.path());
  ASSERT_EQ(t.count, LanguageModuleTable::kCapacity);
  EXPECT_EQ(t.entries[4].fileName, "strevanaPlayer_13.lang");
  EXPECT_EQ(t.entries[5].fileName, "strevanaPlayer_14.lang");
  EXPECT_EQ(t.entries[9].fileName, "strevanaPlayer_18.lang");
  EXPECT_EQ(t.indexOf("strevanaPlayer_18.lang"), 9);
  EXPECT_EQ(t.indexOf("strevanaPlayer_19.lang"), 0);
}

TEST(LanguageScanTest, QtsLanguageIsTheModulesFileNameSuffix) {
  const std::pair<const char*, const char*> cases[] = {{"strevanaPlayer_de.lang", "de"},
                                                       {"strevanaPlayer_pt_BR.lang", "pt_BR"},
                                                       {"strevanaPlayer_.lang", ""},
                                                       {"application", ""},
                                                       {"other_de.lang", ""}};
  for (const auto& [fileName, language] : cases)
    EXPECT_EQ(languageOfModule(fileName), language) << fileName;
}

class LanguageTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    app().languages.folder = folder.path();
  }
  void addModule(const std::string& fileName, const std::string& text) {
    writeModule(folder, fileName, text);
  }
  void addGerman() {
    std::filesystem::copy_file(testing::germanModuleSource(), folder.file(kGermanFile));
  }

  // The Language submenu of Options (its last entry).
  static const Menu* languageMenu() {
    Menu* options = bar().subMenu(2);
    return options->subMenu(options->itemCount() - 1);
  }
  static std::string languageMenuTitle() {
    Menu* options = bar().subMenu(2);
    return options->item(options->itemCount() - 1).text;
  }
  static std::string barTitle(size_t i) { return bar().item(i).text; }

  testing::ScratchFolder folder;
};

TEST_F(LanguageTest, TheStoredLanguageIsAppliedAtStart) {
  addGerman();
  addModule("strevanaPlayer_fr.lang", smallModule("Francais"));
  RegistryKey::open()->setString("Language", "strevanaPlayer_fr.lang");
  start("");
  EXPECT_EQ(app().languages.current, 2);
  EXPECT_EQ(barTitle(0), "&Fichier");
  EXPECT_EQ(languageMenuTitle(), "Langue");
  EXPECT_TRUE(languageMenu()->item(2).checked);
  EXPECT_FALSE(languageMenu()->item(0).checked);
}

TEST_F(LanguageTest, AStoredLanguageThatIsGoneSelectsTheProgramAndIsStoredSo) {
  addModule("strevanaPlayer_fr.lang", smallModule("Francais"));
  RegistryKey::open()->setString("Language", "strevanaPlayer_gone.lang");
  start("");
  EXPECT_EQ(app().languages.current, 0);
  EXPECT_EQ(barTitle(0), "&File");
  EXPECT_EQ(languageMenuTitle(), "Language");
  EXPECT_EQ(settingString("Language"), "application");
}

TEST_F(LanguageTest, NoChoiceMeansNoSubmenuAndNothingStored) {
  addModule("strevanaPlayer_a.lang", "[strings]\n141 = Nope\n");
  start("");
  EXPECT_EQ(bar().findItem(kCmdLanguageBase), nullptr);
  EXPECT_FALSE(settingString("Language"));
  EXPECT_EQ(&currentResources(), &ResourceModule::program());
}

TEST_F(LanguageTest, SwitchingAtRunTimeReplacesMenusDialogsAndTexts) {
  addGerman();
  start("");
  const std::string clip = fixture("mpeg4_aac.mp4");
  openLocalFile(app().mainWindow.get(), clip);
  ASSERT_TRUE(boxes.empty()) << boxes.front().text;
  // Chosen from Qt's own menu bar: the action belongs to the bar the switch replaces.
  QAction* deutsch = nullptr;
  for (QMenu* menu : app().mainWindow->menuBar()->findChildren<QMenu*>()) {
    for (QAction* action : menu->actions()) {
      if (action->text() == "Deutsch") deutsch = action;
    }
  }
  ASSERT_NE(deutsch, nullptr);
  deutsch->trigger();
  settle();

  EXPECT_EQ(app().languages.current, 1);
  EXPECT_EQ(settingString("Language"), kGermanFile);
  QStringList titles;
  for (QAction* action : app().mainWindow->menuBar()->actions()) titles << action->text();
  EXPECT_EQ(titles, (QStringList{"&Datei", "&Ansicht", "&Optionen", "&Hilfe"}));
  EXPECT_EQ(bar().findItem(kCmdOpen)->text, "\xC3\x96&ffnen");
  // Entries the shell always takes out stay out in the new menus too.
  EXPECT_EQ(bar().findItem(kCmdLoadBackground), nullptr);
  EXPECT_EQ(bar().findItem(kCmdSaveStream), nullptr);
  EXPECT_EQ(languageMenuTitle(), "Sprache");
  EXPECT_TRUE(languageMenu()->item(1).checked);
  EXPECT_FALSE(languageMenu()->item(0).checked);
  EXPECT_EQ(app().popupMenu->item(0).text, "Ansicht");
  ASSERT_NE(app().accelerators, nullptr);
  EXPECT_EQ(app().accelerators, currentResources().findAccelerators(109));
  // This run's recent entries follow into the new File menu.
  const Menu& file = *bar().subMenu(0);
  EXPECT_EQ(file.item(file.itemCount() - 1).text, clip);
  EXPECT_EQ(file.item(file.itemCount() - 2).kind, Menu::Kind::kSeparator);
  EXPECT_EQ(file.item(file.itemCount() - 3).text, "&Beenden");

  // Dialogs and messages come from the module.
  std::string cancelText;
  answerDialog = [&](Dialog& d) {
    cancelText = d.itemText(kIdCancel);
    d.click(kIdCancel);
  };
  command(kCmdNetworkOptions);
  EXPECT_EQ(dialogCaptions.back(), "Netzwerkoptionen");
  EXPECT_EQ(cancelText, "Abbrechen");
  openLocalFile(app().mainWindow.get(), "/nonexistent/x.mp4");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Kann nicht \xC3\xB6"
            "ffnen: /nonexistent/x.mp4");
  EXPECT_EQ(boxes[0].caption, "Fehler");

  // And back.
  command(kCmdLanguageBase);
  EXPECT_EQ(app().languages.current, 0);
  EXPECT_EQ(settingString("Language"), "application");
  EXPECT_EQ(barTitle(0), "&File");
  EXPECT_EQ(languageMenuTitle(), "Language");
  command(kCmdNetworkOptions);
  EXPECT_EQ(cancelText, "Cancel");
}

// The buttons of Qt's own file dialog, read from inside its modal loop.
std::vector<std::string> fileDialogButtons() {
  std::vector<std::string> texts;
  QTimer::singleShot(0, [&texts] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    for (QDialogButtonBox* box : dialog->findChildren<QDialogButtonBox*>()) {
      for (QAbstractButton* b : box->buttons()) texts.push_back(b->text().toStdString());
    }
    dialog->reject();
  });
  OpenFileRequest request;
  request.filters = {{"MPEG-4 File (*.mp4)", "*.mp4"}};
  showOpenFileName(UiHooks{}, request);
  return texts;
}

bool has(const std::vector<std::string>& texts, const std::string& wanted) {
  return std::find(texts.begin(), texts.end(), wanted) != texts.end();
}

TEST_F(LanguageTest, QtsOwnDialogsFollowTheChosenLanguage) {
  addGerman();
  start("");
  EXPECT_TRUE(has(fileDialogButtons(), "Cancel"));
  command(kCmdLanguageBase + 1);
  ASSERT_NE(app().qtTranslator, nullptr)
      << "Qt's German catalogue (qt6-translations-l10n) is missing";
  const auto german = fileDialogButtons();
  EXPECT_TRUE(has(german, "Abbrechen")) << (german.empty() ? "no buttons" : german.front());
  EXPECT_FALSE(has(german, "Cancel"));
  command(kCmdLanguageBase);
  EXPECT_EQ(app().qtTranslator, nullptr);
  EXPECT_TRUE(has(fileDialogButtons(), "Cancel"));
}

TEST_F(LanguageTest, AModuleWithoutMenusOrKeysKeepsTheCurrentOnes) {
  addModule("strevanaPlayer_min.lang", "[strings]\n2000 = Minimal\n141 = Zut\n");
  addModule("strevanaPlayer_fr.lang", smallModule("Francais"));
  start("");
  command(kCmdLanguageBase + 1);  // French menus
  EXPECT_EQ(barTitle(0), "&Fichier");
  command(kCmdLanguageBase + 2);  // strings only
  EXPECT_EQ(barTitle(0), "&Fichier");
  EXPECT_EQ(resString(141), "Zut");
  EXPECT_EQ(app().accelerators, ResourceModule::program().findAccelerators(109));
}

TEST_F(LanguageTest, AModuleGoneBeforeItIsChosenOrABadIndexFallsBackToTheProgram) {
  addModule("strevanaPlayer_fr.lang", smallModule("Francais"));
  addGerman();
  start("");
  command(kCmdLanguageBase + 1);
  ASSERT_EQ(barTitle(0), "&Datei");
  applyLanguage(7);  // outside the table: only the module is dropped, nothing is written
  EXPECT_EQ(&currentResources(), &ResourceModule::program());
  EXPECT_EQ(app().accelerators, ResourceModule::program().findAccelerators(109));
  EXPECT_EQ(settingString("Language"), kGermanFile);
  std::filesystem::remove(folder.file("strevanaPlayer_fr.lang"));
  command(kCmdLanguageBase + 2);
  EXPECT_EQ(app().languages.current, 0);
  EXPECT_EQ(barTitle(0), "&File");
  EXPECT_EQ(settingString("Language"), "application");
}

// The shipped German module carries every string, menu entry and dialog
// control the program's own resources carry, under the same ids.
TEST(GermanModuleTest, IsCompleteAndShapedLikeTheProgramsResources) {
  std::unique_ptr<ResourceModule> de = ResourceModule::load(testing::germanModuleSource());
  ASSERT_NE(de, nullptr);
  EXPECT_TRUE(de->errors().empty()) << de->errors().front();
  const ResourceModule& en = ResourceModule::program();
  std::string text;
  for (int32_t id = 100; id <= 2000; ++id) {
    if (en.findString(id, text)) {
      EXPECT_TRUE(de->findString(id, text)) << "string " << id;
    }
  }
  std::function<void(const std::vector<MenuItemTemplate>&, const std::vector<MenuItemTemplate>&)>
      sameShape = [&](const auto& a, const auto& b) {
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
          EXPECT_EQ(a[i].id, b[i].id);
          sameShape(a[i].children, b[i].children);
        }
      };
  for (int32_t id : {109, 171}) {
    ASSERT_NE(de->findMenu(id), nullptr) << "menu " << id;
    sameShape(en.findMenu(id)->items, de->findMenu(id)->items);
  }
  for (int32_t id : {103, 170, 172, 176, 177}) {
    const DialogTemplate* d = de->findDialog(id);
    ASSERT_NE(d, nullptr) << "dialog " << id;
    for (const DialogControlTemplate& c : en.findDialog(id)->controls) {
      EXPECT_NE(d->findControl(c.id), nullptr) << "dialog " << id << " control " << c.id;
    }
  }
}

}  // namespace
}  // namespace strevana
