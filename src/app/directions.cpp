#include "directions.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace lm {

namespace {

const QColor kBlue(0x00, 0x00, 0xFF);

QLabel* addText(QWidget* window, const char* name, const QString& text, bool blue = false) {
    auto* label = new QLabel(text, window);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    if (blue)
        setTextColor(label, kBlue);
    return label;
}

} // namespace

FormDirections3::FormDirections3(QWidget* parent) : ModalWindow(parent, 654, 430) {
    setObjectName(QStringLiteral("FormDirections3"));
    setWindowTitle(QStringLiteral("Paths for Files."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(8);
    layout->addWidget(addText(
        this, "Label1",
        QStringLiteral("Terminology:  The Main Computer is the one processing the results and "
                       "producing results using Podiax.  The Timing Computer is the one using "
                       "Lapmark to time athletes as they finish.  The Bib Number Computer is "
                       "using Lapmark  to enter (or scan) the Bib Numbers of the athletes in the "
                       "order of finish. Neither the Timing or the Bib Number computer needs to "
                       "have Podiax.")));
    layout->addWidget(addText(
        this, "Label8",
        QStringLiteral("The Podiax operator will choose LAPMARK as the timer being used so that "
                       "the BIB and TIME files created by Lapmark will import properly into "
                       "Podiax when called for.")));
    layout->addWidget(addText(
        this, "Label7",
        QStringLiteral("Times and the Bib Numbers may be saved at any time, using SAVE CURRENT  "
                       "should the Main Computer Operator want to produce some partial results "
                       "as the race progresses. Times and Bib Numbers are automatically saved "
                       "in the Lapmark Folder and are also be saved (at the same time) in the "
                       "Secondary Path which could be on a Flash Drive or to an agreed upon "
                       "folder on any of the networked computers.")));
    layout->addWidget(addText(
        this, "Label5",
        QStringLiteral("If the Main Computer is networked to this computer, then the Main "
                       "Computer needs the Path to the Lapmark folder on this computer and no "
                       "secondary path is needed since both Times and Bib Numbers are "
                       "automatically saved in the Primary Path which is the Lapmark folder."),
        true));
    layout->addWidget(addText(
        this, "Label4",
        QStringLiteral("The file of recorded times and the file of recorded bib numbers are "
                       "saved in Primary Path automatically which is in the Lapmark Folder.  The "
                       "files are named by the event number (from Podiax) and the event "
                       "description.  The Main Computer may be networked to this Path as a place "
                       "always to find the TIME and BIB Number files.")));
    layout->addWidget(addText(this, "Label6",
                              QStringLiteral("When Times/Bibs are saved, they are saved to both "
                                             "the primary and secondary locations (Paths) "
                                             "automatically.")));
    layout->addWidget(addText(
        this, "Label2",
        QStringLiteral("Both the Timing and Bib Number computers may be networked to the Main "
                       "Computer.  If this is done, then the Secondary Path may  be an agreed "
                       "upon folder on the Main Computer OR the Main Computer may set its path to "
                       "the Lapmark folder on this computer and no Secondary path will be "
                       "needed. ")));
    auto* exitButton = makeButton(this, "CmdExit", QStringLiteral("&Exit"), 0, 0, 90, 28);
    exitButton->setFixedSize(90, 28);
    layout->addWidget(exitButton, 0, Qt::AlignHCenter);
    layout->addWidget(addText(
        this, "Label3",
        QStringLiteral("If a flash drive is being used to get the Timing and/or Bib Number files "
                       "to the Main Computer then the Secondary Path must be set to the Flash "
                       "Drive. Be sure that the Flash drive is in place when the path is being "
                       "set.  The same is true for both the Timing Computer and the Bib Number "
                       "Computers.")));
    layout->addStretch();
    connect(exitButton, &QPushButton::clicked, this, &FormDirections3::closeFromCode);
    exitButton->setFocus();
}

FormDirections::FormDirections(QWidget* parent) : ModalWindow(parent, 723, 507) {
    setObjectName(QStringLiteral("FormDirections"));
    setWindowTitle(QStringLiteral("Brief Directions"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(14, 8, 14, 8);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(3);
    grid->setColumnMinimumWidth(0, 90);
    grid->setColumnStretch(1, 1);
    int row = 0;
    auto add = [&](QLabel* label, QLabel* heading = nullptr) {
        if (heading)
            grid->addWidget(heading, row, 0, Qt::AlignTop);
        grid->addWidget(label, row++, 1);
    };
    auto wide = [&](QLabel* label) { grid->addWidget(label, row++, 0, 1, 2); };

    wide(addText(this, "Label1",
                 QStringLiteral("Brief Directions on using Lapmark to Time a race and/or record "
                                "Bib Number finish order:")));
    wide(addText(this, "Label15",
                 QStringLiteral("The EVENT NUMBER and the EVENT NAME are used to name the saved "
                                "data files.")));
    wide(addText(this, "Label2",
                 QStringLiteral("Choose the event number (from Podiax) you wish to time or for "
                                "which you wish to enter Bib Numbers.")));
    add(addText(this, "Label3",
                QStringLiteral("Click on Time a Race then, when ready click Start Timer.  Click "
                               "Check Time to be sure the timer is running properly.")),
        addText(this, "Label10", QStringLiteral("TIMES"), true));
    add(addText(this, "Label4",
                QStringLiteral("Each time an athlete crosses the finish line either click CAPTURE "
                               "a TIME or touch the SPACE BAR. Be very careful not to create two "
                               "times by pressing the space bar JUST ONCE for each runner. Times "
                               "show in the box as collected.")));
    add(addText(this, "Label5",
                QStringLiteral("If an extra time is captured in error, note the number of that "
                               "time and after the completion of the race and the timer is "
                               "stopped, then select the extra time and click the Delete "
                               "button.")));
    add(addText(this, "Label6",
                QStringLiteral("When the race is completed, stop the timer and then click Save and "
                               "Exit.  Times will be saved in the same folder as this program  "
                               "and will be named by the event number as in TIMES EV 1.LMT.  If "
                               "the same event is re-timed for any reason (practicing) then the "
                               "file will again be called TIMES EV 1.LMT but the previous one "
                               "saved will now be called TIMES EV 1A.LMT so that no data is lost. "
                               "This will continue by appending B,C,D etc each time event 1 is "
                               "saved. Files have the meet date and event name as the file "
                               "name.")));
    add(addText(this, "Label12",
                QStringLiteral("Remember that should it be necessary to start the timer late (ie "
                               "at the 10 minute mark of a race) that this is no problem since "
                               "Podiax can be told to add 10 minutes (or any time differential) "
                               "to all the times after they are imported. Just note this for the "
                               "Podiax operator.")));
    add(addText(this, "Label7",
                QStringLiteral("For BIB NUMBERS choose the correct event number and click ENTER "
                               "BIB NUMBERS. The PLACE will default to  1 and the bib number is "
                               "entered into the BIB# box and then RETURN is pressed. Bib numbers "
                               "in the correct place order will show in the list.")),
        addText(this, "Label11", QStringLiteral("BIB NUMBERS"), true));
    add(addText(this, "Label16",
                QStringLiteral("Bib Numbers may also be SCANNED in on this screen."), true));
    add(addText(this, "Label8",
                QStringLiteral("If an error is made, bib numbers may be deleted and inserted "
                               "using the corresponding buttons.")));
    add(addText(this, "Label14",
                QStringLiteral("When Bib Numbers are complete, click Save and Exit.  Bib Numbers "
                               "will be saved in the same folder as this program  and will be "
                               "named by the event number as in BIBS EV 1.LMB.  If the same event "
                               "is re-bib'ed for any reason (practicing) then the file will again "
                               "be called BIBS EV 1.LMB but the previous one saved will now be "
                               "called BIBS EV 1A.LMB so that no data is lost. This will continue "
                               "by appending B,C,D etc each time event 1 is saved. Files have the "
                               "meet/event name as a prefix.")));
    wide(addText(this, "Label9",
                 QStringLiteral("For both Times and Bib Numbers, if data has been previously saved "
                                "for the chosen event it will be brought up in case editing is "
                                "needed.  If not needed, just clear the list and start again. If a "
                                "file of those Times and/or Bib Numbers is needed for the Main "
                                "Computer to produce partial results, click SAVE CURRENT.... when "
                                "there is a short break at the finish line.")));
    auto* ok = makeButton(this, "CmdOK", QStringLiteral("&OK"), 0, 0, 90, 28);
    ok->setFixedSize(90, 28);
    grid->addWidget(ok, row++, 0, 1, 2, Qt::AlignHCenter);
    wide(addText(this, "Label13",
                 QStringLiteral("Be SURE to practice using these features BEFORE starting to time "
                                "races."),
                 true));
    grid->setRowStretch(row, 1);
    connect(ok, &QPushButton::clicked, this, &FormDirections::closeFromCode);
    ok->setFocus();
}

} // namespace lm
