#pragma once
// Answers the program's message boxes, folder picker and save questions without a person, and
// records them.

#include "platform/dialogs.h"

#include <QList>
#include <QString>

struct SaveQuestion {
    QString title, suggested;
    QStringList filters;
};

struct ShownMessage {
    QString text;
    int style;
    QString title;
};

class ScriptedDialogs : public qlx::Dialogs {
public:
    ScriptedDialogs() { qlx::setDialogs(this); }
    ~ScriptedDialogs() override { qlx::setDialogs(nullptr); }

    int messageBox(QWidget*, const QString& text, int style, const QString& title) override
    {
        shown.append({text, style, title});
        if (style == qlx::MbQuestionYesNo || style == qlx::MbExclamationYesNo)
            return answers.isEmpty() ? qlx::AnswerYes : answers.takeFirst();
        return qlx::AnswerOk;
    }
    QString browseForFolder(QWidget*, const QString& title, const QString&) override
    {
        pickerTitles.append(title);
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }

    QString saveFileName(QWidget*, const QString& title, const QString& suggested, const QStringList& filters) override
    {
        saveQuestions.append({title, suggested, filters});
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }

    QList<ShownMessage> shown;
    QList<int> answers; // for Yes/No questions, in order; Yes when none is left
    QStringList pickerTitles;
    QStringList folders; // results of the folder picker, in order; cancel when none is left
    QList<SaveQuestion> saveQuestions;
    QStringList saveAnswers; // paths chosen to save to, in order; cancel when none is left
};
