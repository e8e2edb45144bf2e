// Identities of the settings dialog's controls. Every control is a direct
// child of the dialog window, whatever page shows it, so test programs in
// other processes find each one with GetDlgItem(dialog, id).
#pragma once

namespace quorvel::ui {

inline constexpr wchar_t kSetupFormClass[] = L"TSetupForm";

inline constexpr int kRzPageControl1Id = 300;  // the tabs

// "Общие"
inline constexpr int kProgramGroupId = 310;
inline constexpr int kSetupCB1Id = 311;       // start with Windows
inline constexpr int kSetupCB2Id = 312;       // start polling at start-up
inline constexpr int kRzRadioGroup1Id = 313;  // the frame of the display choice
inline constexpr int kRadioTaskbarId = 314;   // item 0
inline constexpr int kRadioTrayId = 315;      // item 1
inline constexpr int kExcelGroupId = 316;
inline constexpr int kSetupCB3Id = 317;  // open the workbook at start-up
inline constexpr int kRzLabel8Id = 318;
inline constexpr int kRBE1Id = 319;        // the workbook path
inline constexpr int kRBE1ButtonId = 320;  // its browse button

// The device search page, never shown.
inline constexpr int kRzTreeView1Id = 330;
inline constexpr int kRzProgressBar1Id = 331;
inline constexpr int kFindButtonId = 332;

// "Обмен"
inline constexpr int kPortGroupId = 340;
inline constexpr int kCOMCBId = 341;
inline constexpr int kSpeedCBId = 342;
inline constexpr int kSensorGroupId = 343;
inline constexpr int kSE1Id = 344;  // sensor count; its spin buttons are kSE1Id + 100
inline constexpr int kSE2Id = 345;  // reply time-out, ms
inline constexpr int kSE3Id = 346;  // cycle interval, ms
inline constexpr int kSpinButtonsOffset = 100;
inline constexpr int kSG1Id = 350;  // the sensor table

// "Настройки DDE"
inline constexpr int kDdeGroupId = 360;
inline constexpr int kRzEdit1Id = 361;  // topic
inline constexpr int kRzEdit2Id = 362;  // item prefix

// "Дополнительно": the demotion of a device that does not answer; number
// boxes with spin buttons like those of "Обмен".
inline constexpr int kDemoteGroupId = 370;
inline constexpr int kDemoteAfterId = 371;  // exchanges without a reply, 0: never
inline constexpr int kDemoteForId = 372;    // for how long at first, ms

// "Дополнительно": the broker the readings are published to. The check
// boxes and the QoS list take effect at once; the boxes when they lose the
// focus, and at OK and any close, so that typing does not restart the link.
inline constexpr int kMqttGroupId = 380;
inline constexpr int kMqttEnabledId = 381;  // check box
inline constexpr int kMqttHostId = 382;
inline constexpr int kMqttPortId = 383;    // number box; its spin buttons are + kSpinButtonsOffset
inline constexpr int kMqttClientId = 384;  // empty: the default, shown as the cue banner
inline constexpr int kMqttUserId = 385;
inline constexpr int kMqttPasswordId = 386;  // masked; sealed when left
inline constexpr int kMqttTlsId = 387;       // check box
inline constexpr int kMqttCaFileId = 388;
inline constexpr int kMqttCaFileButtonId = 389;  // its browse button
inline constexpr int kMqttTopicRootId = 390;     // empty: the default, shown as the cue banner
inline constexpr int kMqttQosId = 391;           // drop-down list: 0, 1
inline constexpr int kMqttBufferId = 392;        // number box, messages held while cut off
inline constexpr int kMqttStateId = 393;         // "Состояние: " and the host's state text
// "Дополнительно": the reading log.
inline constexpr int kLogGroupId = 394;
inline constexpr int kLogEnabledId = 395;   // check box
inline constexpr int kLogFolderId = 396;    // empty: "log" in the working directory
inline constexpr int kLogKeepDaysId = 397;  // number box, days
inline constexpr int kLogStateId = 398;     // "Состояние: " and the host's log state
// "Дополнительно": the OPC UA server.
inline constexpr int kOpcUaGroupId = 399;
inline constexpr int kOpcUaEnabledId = 400;       // check box
inline constexpr int kOpcUaPortId = 401;          // number box
inline constexpr int kOpcUaAnonymousId = 402;     // check box: sessions without a user
inline constexpr int kOpcUaSecurityNoneId = 403;  // check box: unsecured connections
inline constexpr int kOpcUaUserId = 404;
inline constexpr int kOpcUaPasswordId = 405;    // masked; sealed when left
inline constexpr int kOpcUaStateId = 406;       // "Состояние: " and the server's state
inline constexpr int kOpcUaThumbprintId = 407;  // the server certificate's SHA-1

// Bottom panel. OK is the dialog's default button.
inline constexpr int kOkB1Id = 1;

// The tabs the user sees, and the page each stands for (the page index of
// the settings file: 0 "Общие", 1 the hidden search page, 2 "Обмен", 3
// "Настройки DDE", 4 "Дополнительно").
inline constexpr int kVisiblePages[] = {0, 2, 3, 4};

}  // namespace quorvel::ui
