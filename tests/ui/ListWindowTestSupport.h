// Helpers for the list window tests: a recorder standing in for the controller, and row
// selection in a list window.
#pragma once

#include "ui/CListWindow.h"

#include <QItemSelectionModel>

#include <initializer_list>
#include <utility>
#include <vector>

// What a list window asks of the controller: posted messages and sent commands.
struct SController {
    std::vector<CMessage> posted;
    std::vector<int> commands;
    PostMessageFn Post() {
        return [this](CMessage msg) { posted.push_back(std::move(msg)); };
    }
    SendCommandFn Command() {
        return [this](int id) { commands.push_back(id); };
    }
};

// Selects exactly these rows of the list.
inline void SelectListRows(CListView* view, std::initializer_list<int> rows) {
    QItemSelectionModel* selection = view->selectionModel();
    selection->clearSelection();
    for (const int row : rows) {
        selection->select(view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}
