#pragma once

#include "output/platform.h"

#include <QPainter>

#include <deque>

// Answers every dialog from a script and records what the program showed.
class FakePlatform : public Platform
{
public:
    struct Message
    {
        QString text;
        QString caption;
        Icon icon;
    };

    std::vector<Message> messages;
    std::deque<std::optional<SaveAnswer>> saveAnswers;
    std::vector<QStringList> saveDialogFilters;
    std::deque<ColorAnswer> colorAnswers;
    std::vector<std::pair<QRgb, QList<QRgb>>> colorDialogs; // initial, custom colours
    std::optional<PrintError> printFailure;
    std::vector<QImage> printedPages; // what each job drew, at 1/10 twip per pixel
    std::vector<QUrl> openedUrls;
    bool urlsOpen = true; // false: no browser on this machine
    std::deque<bool> replaceAnswers;
    QStringList replaceQuestions;

    void showMessage(const QString& text, const QString& caption, Icon icon) override
    {
        messages.push_back({text, caption, icon});
    }
    QStringList suggestedFiles; // what each save dialog started at
    std::optional<SaveAnswer> askSaveFileName(const QString&, const QStringList& filters,
                                              const QString& suggested) override
    {
        saveDialogFilters.push_back(filters);
        suggestedFiles << suggested;
        if (saveAnswers.empty())
            return std::nullopt;
        std::optional<SaveAnswer> answer;
        answer.swap(saveAnswers.front());
        saveAnswers.pop_front();
        return answer;
    }
    std::deque<QString> openAnswers; // an empty one: cancelled
    std::optional<QString> askOpenFileName(const QString&, const QStringList&) override
    {
        if (openAnswers.empty())
            return std::nullopt;
        const QString answer = openAnswers.front();
        openAnswers.pop_front();
        return answer.isEmpty() ? std::nullopt : std::optional<QString>(answer);
    }
    std::deque<QStringList> openManyAnswers; // an empty one: cancelled
    QStringList askOpenFileNames(const QString&, const QStringList&) override
    {
        if (openManyAnswers.empty())
            return {};
        const QStringList answer = openManyAnswers.front();
        openManyAnswers.pop_front();
        return answer;
    }
    ColorAnswer chooseColor(QRgb initial, const QList<QRgb>& custom) override
    {
        colorDialogs.emplace_back(initial, custom);
        if (colorAnswers.empty())
            return {};
        const ColorAnswer answer = colorAnswers.front();
        colorAnswers.pop_front();
        return answer;
    }
    std::optional<PrintError> printTwips(const std::function<void(QPainter&)>& paint) override
    {
        if (printFailure)
            return printFailure;
        QImage page(600, 400, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter p(&page);
        p.scale(0.1, 0.1);
        paint(p);
        printedPages.push_back(page);
        return std::nullopt;
    }
    bool openUrl(const QUrl& url) override
    {
        openedUrls.push_back(url);
        return urlsOpen;
    }
    std::deque<QString> passwordAnswers; // none left: cancelled
    QStringList passwordQuestions;
    std::optional<QString> askPassword(const QString& text, const QString&) override
    {
        passwordQuestions << text;
        if (passwordAnswers.empty())
            return std::nullopt;
        const QString answer = passwordAnswers.front();
        passwordAnswers.pop_front();
        return answer;
    }
    std::deque<bool> yesNoAnswers; // none left: No, the default
    QStringList yesNoQuestions;
    bool askYesNo(const QString& text, const QString&) override
    {
        yesNoQuestions << text;
        if (yesNoAnswers.empty())
            return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    QStringList replaceCaptions;
    bool confirmReplace(const QString& path, const QString& caption) override
    {
        replaceQuestions << path;
        replaceCaptions << caption;
        // Unless a test says otherwise, the person meant the file they named.
        if (replaceAnswers.empty())
            return true;
        const bool answer = replaceAnswers.front();
        replaceAnswers.pop_front();
        return answer;
    }
};
