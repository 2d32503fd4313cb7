#pragma once

// The whole program against the local board server, for the board tree and the thread list:
// a store in a temporary root, the board server as proxy, the menu address set.
#include "fetch_support.h"
#include "tavlo_board_file.h"
#include "tavlo_board_tree.h"
#include "tavlo_board_view.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_path.h"
#include "tavlo_status_dialog.h"
#include "tavlo_subject_view.h"
#include "ui_test_util.h"
#include "vorn_kcode.h"

#include <QDir>
#include <QTreeWidgetItem>
#include <QUrl>

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class ListShell : public ::testing::Test {
protected:
    static constexpr const char* kMenuUrl = "http://menu.example-bbs.test/bbsmenu.html";
    static constexpr const char* kNewsUrl = "http://news.example-bbs.test/news/";

    ListShell() {
        CTavloSettings& s = CTavloSettings::Instance();
        s.SetString("BoardUrl", CVornString(kMenuUrl));
    }
    // Starts the program; online as given.
    void start(int online) {
        ASSERT_TRUE(fx.sim.ok());
        CTavloSettings::Instance().SetOnline(online);
        ASSERT_EQ(run.start(), 1);
        f = run.frame();
        f->resize(640, 480);
    }
    CTavloBoardView* boards() { return static_cast<CTavloBoardView*>(f->Views().board); }
    CTavloSubjectView* subject() { return static_cast<CTavloSubjectView*>(f->Views().subject); }

    std::string root() const { return fx.root(); }
    std::string path(const std::string& name) const { return root() + "/" + name; }
    // A board list file written as the program writes it.
    void writeBoards(const char* file, const std::vector<std::vector<std::string>>& rows) {
        CTavloBoardFile list(CVornString(path(file)));
        for (auto& r : rows)
            list.AddRow({CVornString(VornUtf8ToSjis(r[0])), CVornString(r[1]), CVornString(r[2])});
        CTavloPath::MakeDirectory(CVornString(root()));
        ASSERT_EQ(list.Save(), 0);
    }
    std::string ctl(const std::string& op, const std::string& query) {
        return fx.sim.control("/_ctl/" + op + "?" + query);
    }
    static std::string enc(const char* utf8) {
        return QUrl::toPercentEncoding(QString::fromUtf8(utf8)).toStdString();
    }
    // Requests the board server saw whose URL contains part.
    int requestsFor(const std::string& part) {
        int n = 0;
        for (const std::string& r : fx.sim.requests())
            n += r.find(part) != std::string::npos;
        return n;
    }
    bool idle() { return !boards()->IsBusy() && !subject()->IsBusy(); }
    // Top-level item by its label.
    QTreeWidgetItem* top(const char* label) {
        QTreeWidget* tree = boards()->GetTree();
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            if (tree->topLevelItem(i)->text(0) == U(label))
                return tree->topLevelItem(i);
        return nullptr;
    }
    std::vector<QString> labels(QTreeWidgetItem* parent) {
        std::vector<QString> out;
        for (int i = 0; parent && i < parent->childCount(); ++i)
            out.push_back(parent->child(i)->text(0));
        return out;
    }
    std::vector<QString> topLabels() {
        std::vector<QString> out;
        QTreeWidget* tree = boards()->GetTree();
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            out.push_back(tree->topLevelItem(i)->text(0));
        return out;
    }
    // A board's label: name, 24 blanks, id.
    static QString boardLabel(const char* name, const char* id) {
        return U(name) + QString(24, QLatin1Char(' ')) + U(id);
    }

    BoardFixture fx;
    BoxLog boxes;
    ShellRun run{fx.dir.file("tavlo.ini")};
    CMainFrame* f = nullptr;
};
