#include "motion_command_names.hpp"

#include <algorithm>
#include <iterator>

#include "runner/check/assert.hpp"
#include "tarnwick_base/hex.hpp"

namespace common::motion_command_names {

constexpr std::array<MotionCommandRow, 409> MOTION_COMMAND_NAMES{{
    {0x00000000, "Invalid"},
    {0x080000A2, "Cancel"},
    {0x080000A9, "CreateShortcutToSelected"},
    {0x080000B5, "EnterChat"},
    {0x080000B6, "ToggleChat"},
    {0x080000B7, "SavePosition"},
    {0x090000A3, "UseSelected"},
    {0x090000A4, "AutosortSelected"},
    {0x090000A5, "DropSelected"},
    {0x090000A6, "GiveSelected"},
    {0x090000A7, "SplitSelected"},
    {0x090000A8, "ExamineSelected"},
    {0x090000AA, "PreviousCompassItem"},
    {0x090000AB, "NextCompassItem"},
    {0x090000AC, "ClosestCompassItem"},
    {0x090000AD, "PreviousSelection"},
    {0x090000AE, "LastAttacker"},
    {0x090000AF, "PreviousFellow"},
    {0x090000B0, "NextFellow"},
    {0x090000B1, "ToggleCombat"},
    {0x090000B8, "OptionsPanel"},
    {0x090000B9, "ResetView"},
    {0x090000C0, "FloorView"},
    {0x090000C2, "PreviousItem"},
    {0x090000C3, "NextItem"},
    {0x090000C4, "ClosestItem"},
    {0x090000C6, "MapView"},
    {0x090000C7, "AutoRun"},
    {0x090000C8, "DecreasePowerSetting"},
    {0x090000C9, "IncreasePowerSetting"},
    {0x090000D5, "FirstPersonView"},
    {0x090000D6, "AllegiancePanel"},
    {0x090000D7, "FellowshipPanel"},
    {0x090000D8, "SpellbookPanel"},
    {0x090000D9, "SpellComponentsPanel"},
    {0x090000DA, "HousePanel"},
    {0x090000DB, "AttributesPanel"},
    {0x090000DC, "SkillsPanel"},
    {0x090000DD, "MapPanel"},
    {0x090000DE, "InventoryPanel"},
    {0x090000E7, "CaptureScreenshotToFile"},
    {0x090000FE, "AutoCreateShortcuts"},
    {0x090000FF, "AutoRepeatAttacks"},
    {0x09000100, "AutoTarget"},
    {0x09000101, "AdvancedCombatInterface"},
    {0x09000102, "IgnoreAllegianceRequests"},
    {0x09000103, "IgnoreFellowshipRequests"},
    {0x09000104, "InvertMouseLook"},
    {0x09000105, "LetPlayersGiveYouItems"},
    {0x09000106, "AutoTrackCombatTargets"},
    {0x09000107, "DisplayTooltips"},
    {0x09000108, "AttemptToDeceivePlayers"},
    {0x09000109, "RunAsDefaultMovement"},
    {0x0900010A, "StayInChatModeAfterSend"},
    {0x0900010B, "RightClickToMouseLook"},
    {0x0900010C, "VividTargetIndicator"},
    {0x0900010D, "SelectSelf"},
    {0x09000110, "PreviousMonster"},
    {0x09000111, "ClosestMonster"},
    {0x09000112, "NextPlayer"},
    {0x09000113, "PreviousPlayer"},
    {0x09000114, "ClosestPlayer"},
    {0x0900011D, "TradePanel"},
    {0x09000154, "CharacterOptionsPanel"},
    {0x09000155, "SoundAndGraphicsPanel"},
    {0x09000156, "HelpfulSpellsPanel"},
    {0x09000157, "HarmfulSpellsPanel"},
    {0x09000158, "CharacterInformationPanel"},
    {0x09000159, "LinkStatusPanel"},
    {0x0900015A, "VitaePanel"},
    {0x0900015B, "ShareFellowshipXP"},
    {0x0900015C, "ShareFellowshipLoot"},
    {0x0900015D, "AcceptCorpseLooting"},
    {0x0900015E, "IgnoreTradeRequests"},
    {0x0900015F, "DisableWeather"},
    {0x09000160, "DisableHouseEffect"},
    {0x09000161, "SideBySideVitals"},
    {0x09000162, "ShowRadarCoordinates"},
    {0x09000163, "ShowSpellDurations"},
    {0x09000164, "MuteOnLosingFocus"},
    {0x09000168, "AllegianceChat"},
    {0x09000169, "AutomaticallyAcceptFellowshipRequests"},
    {0x0900016A, "Reply"},
    {0x0900016B, "MonarchReply"},
    {0x0900016C, "PatronReply"},
    {0x0900016D, "ToggleCraftingChanceOfSuccessDialog"},
    {0x0900016E, "UseClosestUnopenedCorpse"},
    {0x0900016F, "UseNextUnopenedCorpse"},
    {0x09000170, "IssueSlashCommand"},
    {0x0C0000C1, "MouseLook"},
    {0x0D0000B2, "HighAttack"},
    {0x0D0000B3, "MediumAttack"},
    {0x0D0000B4, "LowAttack"},
    {0x0D0000BA, "CameraLeftRotate"},
    {0x0D0000BB, "CameraRightRotate"},
    {0x0D0000BC, "CameraRaise"},
    {0x0D0000BD, "CameraLower"},
    {0x0D0000BE, "CameraCloser"},
    {0x0D0000BF, "CameraFarther"},
    {0x0D0000C5, "ShiftView"},
    {0x1000004A, "Hop"},
    {0x1000004B, "Jumpup"},
    {0x1000004D, "ChestBeat"},
    {0x1000004E, "TippedLeft"},
    {0x1000004F, "TippedRight"},
    {0x10000050, "FallDown"},
    {0x10000051, "Twitch1"},
    {0x10000052, "Twitch2"},
    {0x10000053, "Twitch3"},
    {0x10000054, "Twitch4"},
    {0x10000055, "StaggerBackward"},
    {0x10000056, "StaggerForward"},
    {0x10000057, "Sanctuary"},
    {0x10000058, "ThrustMed"},
    {0x10000059, "ThrustLow"},
    {0x1000005A, "ThrustHigh"},
    {0x1000005B, "SlashHigh"},
    {0x1000005C, "SlashMed"},
    {0x1000005D, "SlashLow"},
    {0x1000005E, "BackhandHigh"},
    {0x1000005F, "BackhandMed"},
    {0x10000060, "BackhandLow"},
    {0x10000061, "Shoot"},
    {0x10000062, "AttackHigh1"},
    {0x10000063, "AttackMed1"},
    {0x10000064, "AttackLow1"},
    {0x10000065, "AttackHigh2"},
    {0x10000066, "AttackMed2"},
    {0x10000067, "AttackLow2"},
    {0x10000068, "AttackHigh3"},
    {0x10000069, "AttackMed3"},
    {0x1000006A, "AttackLow3"},
    {0x1000006B, "HeadThrow"},
    {0x1000006C, "FistSlam"},
    {0x1000006D, "BreatheFlame"},
    {0x1000006E, "SpinAttack"},
    {0x1000006F, "MagicPowerUp01"},
    {0x10000070, "MagicPowerUp02"},
    {0x10000071, "MagicPowerUp03"},
    {0x10000072, "MagicPowerUp04"},
    {0x10000073, "MagicPowerUp05"},
    {0x10000074, "MagicPowerUp06"},
    {0x10000075, "MagicPowerUp07"},
    {0x10000076, "MagicPowerUp08"},
    {0x10000077, "MagicPowerUp09"},
    {0x10000078, "MagicPowerUp10"},
    {0x1000009C, "EnterGame"},
    {0x1000009D, "ExitGame"},
    {0x1000009E, "OnCreation"},
    {0x1000009F, "OnDestruction"},
    {0x100000A0, "EnterPortal"},
    {0x100000A1, "ExitPortal"},
    {0x100000CD, "SpecialAttack1"},
    {0x100000CE, "SpecialAttack2"},
    {0x100000CF, "SpecialAttack3"},
    {0x100000D0, "MissileAttack1"},
    {0x100000D1, "MissileAttack2"},
    {0x100000D2, "MissileAttack3"},
    {0x100000E2, "Blink"},
    {0x100000E3, "Bite"},
    {0x1000010E, "SkillHealSelf"},
    {0x1000010F, "SkillHealOther"},
    {0x1000011E, "LogOut"},
    {0x1000011F, "DoubleSlashLow"},
    {0x10000120, "DoubleSlashMed"},
    {0x10000121, "DoubleSlashHigh"},
    {0x10000122, "TripleSlashLow"},
    {0x10000123, "TripleSlashMed"},
    {0x10000124, "TripleSlashHigh"},
    {0x10000125, "DoubleThrustLow"},
    {0x10000126, "DoubleThrustMed"},
    {0x10000127, "DoubleThrustHigh"},
    {0x10000128, "TripleThrustLow"},
    {0x10000129, "TripleThrustMed"},
    {0x1000012A, "TripleThrustHigh"},
    {0x1000012B, "MagicPowerUp01Purple"},
    {0x1000012C, "MagicPowerUp02Purple"},
    {0x1000012D, "MagicPowerUp03Purple"},
    {0x1000012E, "MagicPowerUp04Purple"},
    {0x1000012F, "MagicPowerUp05Purple"},
    {0x10000130, "MagicPowerUp06Purple"},
    {0x10000131, "MagicPowerUp07Purple"},
    {0x10000132, "MagicPowerUp08Purple"},
    {0x10000133, "MagicPowerUp09Purple"},
    {0x10000134, "MagicPowerUp10Purple"},
    {0x1000013A, "HouseRecall"},
    {0x10000153, "LifestoneRecall"},
    {0x10000165, "Fishing"},
    {0x10000166, "MarketplaceRecall"},
    {0x10000167, "EnterPKLite"},
    {0x10000171, "AllegianceHometownRecall"},
    {0x10000172, "PKArenaRecall"},
    {0x10000173, "OffhandSlashHigh"},
    {0x10000174, "OffhandSlashMed"},
    {0x10000175, "OffhandSlashLow"},
    {0x10000176, "OffhandThrustHigh"},
    {0x10000177, "OffhandThrustMed"},
    {0x10000178, "OffhandThrustLow"},
    {0x10000179, "OffhandDoubleSlashLow"},
    {0x1000017A, "OffhandDoubleSlashMed"},
    {0x1000017B, "OffhandDoubleSlashHigh"},
    {0x1000017C, "OffhandTripleSlashLow"},
    {0x1000017D, "OffhandTripleSlashMed"},
    {0x1000017E, "OffhandTripleSlashHigh"},
    {0x1000017F, "OffhandDoubleThrustLow"},
    {0x10000180, "OffhandDoubleThrustMed"},
    {0x10000181, "OffhandDoubleThrustHigh"},
    {0x10000182, "OffhandTripleThrustLow"},
    {0x10000183, "OffhandTripleThrustMed"},
    {0x10000184, "OffhandTripleThrustHigh"},
    {0x10000185, "OffhandKick"},
    {0x10000186, "AttackHigh4"},
    {0x10000187, "AttackMed4"},
    {0x10000188, "AttackLow4"},
    {0x10000189, "AttackHigh5"},
    {0x1000018A, "AttackMed5"},
    {0x1000018B, "AttackLow5"},
    {0x1000018C, "AttackHigh6"},
    {0x1000018D, "AttackMed6"},
    {0x1000018E, "AttackLow6"},
    {0x1000018F, "PunchFastHigh"},
    {0x10000190, "PunchFastMed"},
    {0x10000191, "PunchFastLow"},
    {0x10000192, "PunchSlowHigh"},
    {0x10000193, "PunchSlowMed"},
    {0x10000194, "PunchSlowLow"},
    {0x10000195, "OffhandPunchFastHigh"},
    {0x10000196, "OffhandPunchFastMed"},
    {0x10000197, "OffhandPunchFastLow"},
    {0x10000198, "OffhandPunchSlowHigh"},
    {0x10000199, "OffhandPunchSlowMed"},
    {0x1000019A, "OffhandPunchSlowLow"},
    {0x1000019B, "WoahDuplicate2"},
    {0x1200009B, "YMCA"},
    {0x120000D4, "Flatulence"},
    {0x120000DF, "Demonet"},
    {0x1300004C, "Cheer"},
    {0x13000079, "ShakeFist"},
    {0x1300007A, "Beckon"},
    {0x1300007B, "BeSeeingYou"},
    {0x1300007C, "BlowKiss"},
    {0x1300007D, "BowDeep"},
    {0x1300007E, "ClapHands"},
    {0x1300007F, "Cry"},
    {0x13000080, "Laugh"},
    {0x13000081, "MimeEat"},
    {0x13000082, "MimeDrink"},
    {0x13000083, "Nod"},
    {0x13000084, "Point"},
    {0x13000085, "ShakeHead"},
    {0x13000086, "Shrug"},
    {0x13000087, "Wave"},
    {0x13000088, "Akimbo"},
    {0x13000089, "HeartyLaugh"},
    {0x1300008A, "Salute"},
    {0x1300008B, "ScratchHead"},
    {0x1300008C, "SmackHead"},
    {0x1300008D, "TapFoot"},
    {0x1300008E, "WaveHigh"},
    {0x1300008F, "WaveLow"},
    {0x13000090, "YawnStretch"},
    {0x13000091, "Cringe"},
    {0x13000092, "Kneel"},
    {0x13000093, "Plead"},
    {0x13000094, "Shiver"},
    {0x13000095, "Shoo"},
    {0x13000096, "Slouch"},
    {0x13000097, "Spit"},
    {0x13000098, "Surrender"},
    {0x13000099, "Woah"},
    {0x1300009A, "Winded"},
    {0x130000CA, "Pray"},
    {0x130000CB, "Mock"},
    {0x130000CC, "Teapot"},
    {0x13000119, "WarmHands"},
    {0x13000135, "Helper"},
    {0x1300014A, "NudgeLeft"},
    {0x1300014B, "NudgeRight"},
    {0x1300014C, "PointLeft"},
    {0x1300014D, "PointRight"},
    {0x1300014E, "PointDown"},
    {0x1300014F, "Knock"},
    {0x13000150, "ScanHorizon"},
    {0x13000151, "DrudgeDance"},
    {0x13000152, "HaveASeat"},
    {0x2000003A, "StopTurning"},
    {0x2500003B, "Jump"},
    {0x40000004, "Stop"},
    {0x40000008, "Fallen"},
    {0x40000009, "Interpolating"},
    {0x4000000A, "Hover"},
    {0x4000000B, "On"},
    {0x4000000C, "Off"},
    {0x40000011, "Dead"},
    {0x40000015, "Falling"},
    {0x40000016, "Reload"},
    {0x40000017, "Unload"},
    {0x40000018, "Pickup"},
    {0x40000019, "StoreInBackpack"},
    {0x4000001A, "Eat"},
    {0x4000001B, "Drink"},
    {0x4000001C, "Reading"},
    {0x4000001D, "JumpCharging"},
    {0x4000001E, "AimLevel"},
    {0x4000001F, "AimHigh15"},
    {0x40000020, "AimHigh30"},
    {0x40000021, "AimHigh45"},
    {0x40000022, "AimHigh60"},
    {0x40000023, "AimHigh75"},
    {0x40000024, "AimHigh90"},
    {0x40000025, "AimLow15"},
    {0x40000026, "AimLow30"},
    {0x40000027, "AimLow45"},
    {0x40000028, "AimLow60"},
    {0x40000029, "AimLow75"},
    {0x4000002A, "AimLow90"},
    {0x4000002B, "MagicBlast"},
    {0x4000002C, "MagicSelfHead"},
    {0x4000002D, "MagicSelfHeart"},
    {0x4000002E, "MagicBonus"},
    {0x4000002F, "MagicClap"},
    {0x40000030, "MagicHarm"},
    {0x40000031, "MagicHeal"},
    {0x40000032, "MagicThrowMissile"},
    {0x40000033, "MagicRecoilMissile"},
    {0x40000034, "MagicPenalty"},
    {0x40000035, "MagicTransfer"},
    {0x40000036, "MagicVision"},
    {0x40000037, "MagicEnchantItem"},
    {0x40000038, "MagicPortal"},
    {0x40000039, "MagicPray"},
    {0x400000D3, "CastSpell"},
    {0x400000E0, "UseMagicStaff"},
    {0x400000E1, "UseMagicWand"},
    {0x400000E4, "TwitchSubstate1"},
    {0x400000E5, "TwitchSubstate2"},
    {0x400000E6, "TwitchSubstate3"},
    {0x40000136, "Pickup5"},
    {0x40000137, "Pickup10"},
    {0x40000138, "Pickup15"},
    {0x40000139, "Pickup20"},
    {0x41000003, "Ready"},
    {0x41000012, "Crouch"},
    {0x41000013, "Sitting"},
    {0x41000014, "Sleeping"},
    {0x420000F9, "ATOYOT"},
    {0x430000EA, "ShakeFistState"},
    {0x430000EB, "PrayState"},
    {0x430000EC, "BowDeepState"},
    {0x430000ED, "ClapHandsState"},
    {0x430000EE, "CrossArmsState"},
    {0x430000EF, "ShiverState"},
    {0x430000F0, "PointState"},
    {0x430000F1, "WaveState"},
    {0x430000F2, "AkimboState"},
    {0x430000F3, "SaluteState"},
    {0x430000F4, "ScratchHeadState"},
    {0x430000F5, "TapFootState"},
    {0x430000F6, "LeanState"},
    {0x430000F7, "KneelState"},
    {0x430000F8, "PleadState"},
    {0x430000FA, "SlouchState"},
    {0x430000FB, "SurrenderState"},
    {0x430000FC, "WoahState"},
    {0x430000FD, "WindedState"},
    {0x43000118, "SnowAngelState"},
    {0x4300011A, "CurtseyState"},
    {0x4300011B, "AFKState"},
    {0x4300011C, "MeditateState"},
    {0x4300013D, "SitState"},
    {0x4300013E, "SitCrossleggedState"},
    {0x4300013F, "SitBackState"},
    {0x43000140, "PointLeftState"},
    {0x43000141, "PointRightState"},
    {0x43000142, "TalktotheHandState"},
    {0x43000143, "PointDownState"},
    {0x43000144, "DrudgeDanceState"},
    {0x43000145, "PossumState"},
    {0x43000146, "ReadState"},
    {0x43000147, "ThinkerState"},
    {0x43000148, "HaveASeatState"},
    {0x43000149, "AtEaseState"},
    {0x44000007, "RunForward"},
    {0x45000005, "WalkForward"},
    {0x45000006, "WalkBackwards"},
    {0x6500000D, "TurnRight"},
    {0x6500000E, "TurnLeft"},
    {0x6500000F, "SideStepRight"},
    {0x65000010, "SideStepLeft"},
    {0x8000003C, "HandCombat"},
    {0x8000003D, "NonCombat"},
    {0x8000003E, "SwordCombat"},
    {0x8000003F, "BowCombat"},
    {0x80000040, "SwordShieldCombat"},
    {0x80000041, "CrossbowCombat"},
    {0x80000042, "UnusedCombat"},
    {0x80000043, "SlingCombat"},
    {0x80000044, "TwoHandedSwordCombat"},
    {0x80000045, "TwoHandedStaffCombat"},
    {0x80000046, "DualWieldCombat"},
    {0x80000047, "ThrownWeaponCombat"},
    {0x80000048, "Graze"},
    {0x80000049, "Magic"},
    {0x800000E8, "BowNoAmmo"},
    {0x800000E9, "CrossBowNoAmmo"},
    {0x8000013B, "AtlatlCombat"},
    {0x8000013C, "ThrownShieldCombat"},
    {0x85000001, "HoldRun"},
    {0x85000002, "HoldSidestep"},
}};

std::optional<std::string_view> find_motion_command_name(std::span<const MotionCommandRow> rows,
                                                         std::uint32_t code) {
    std::size_t low = 0;
    std::size_t high = rows.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const std::uint32_t middle_code = rows[middle].code;
        if (middle_code == code) {
            return rows[middle].name;
        }
        if (middle_code < code) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> motion_command_name(std::uint32_t code) {
    return find_motion_command_name(MOTION_COMMAND_NAMES, code);
}

std::optional<UnorderedRows> first_unordered_rows(std::span<const MotionCommandRow> rows) {
    const auto pair = std::ranges::adjacent_find(
        rows, [](const MotionCommandRow& earlier, const MotionCommandRow& later) {
            return earlier.code >= later.code;
        });
    if (pair == rows.end()) {
        return std::nullopt;
    }
    return UnorderedRows{*pair, *std::next(pair)};
}

namespace {

using Name = std::optional<std::string_view>;

constexpr std::uint32_t JUMP_CODE = 0x2500003B;

constexpr std::uint32_t group_byte(std::uint32_t code) {
    return code >> 24;
}

bool begins_with(Name name, std::string_view word) {
    return name && name->starts_with(word);
}

bool contains(Name name, std::string_view word) {
    return name && name->contains(word);
}

bool names_an_attack(Name name) {
    constexpr std::array<std::string_view, 5> attack_words{"Attack", "Slash", "Thrust", "Punch",
                                                           "Kick"};
    return std::ranges::any_of(attack_words,
                               [name](std::string_view word) { return contains(name, word); });
}

// Group 0x10 mixes attacks with other actions; only an attack with a height word is an attack.
MotionCommandClass classify_action(Name name) {
    if (!names_an_attack(name)) {
        return MotionCommandClass::Action;
    }
    if (contains(name, "High")) {
        return MotionCommandClass::AttackHigh;
    }
    if (contains(name, "Med")) {
        return MotionCommandClass::AttackMedium;
    }
    if (contains(name, "Low")) {
        return MotionCommandClass::AttackLow;
    }
    return MotionCommandClass::Action;
}

MotionCommandClass classify_by_group(std::uint32_t group, Name name) {
    switch (group) {
        case 0x80:
            return MotionCommandClass::Stance;
        case 0x85:
            return MotionCommandClass::HoldKey;
        case 0x90:
            return MotionCommandClass::UiPanel;
        case 0x10:
            return classify_action(name);
        case 0x13:
            return MotionCommandClass::QuickEmote;
        case 0x40:
        case 0x44:
        case 0x45:
            return MotionCommandClass::Locomotion;
        case 0x41:
            return MotionCommandClass::Posture;
        case 0x43:
            return MotionCommandClass::StateEmote;
        case 0x65:
            return MotionCommandClass::Turn;
        default:
            return MotionCommandClass::Misc;
    }
}

}  // namespace

MotionCommandClass motion_command_class(std::uint32_t code) {
    if (code == 0) {
        return MotionCommandClass::Invalid;
    }
    const Name name = motion_command_name(code);
    const std::uint32_t group = group_byte(code);
    if (code == JUMP_CODE) {
        return MotionCommandClass::Jump;
    }
    if (group == 0x20) {
        return MotionCommandClass::Stop;
    }
    if (begins_with(name, "Aim")) {
        return MotionCommandClass::Aim;
    }
    if (group == 0x40 && begins_with(name, "Magic")) {
        return MotionCommandClass::MagicGesture;
    }
    return classify_by_group(group, name);
}

std::string debug_repr(MotionCommandClass command_class) {
    switch (command_class) {
        case MotionCommandClass::Invalid:
            return "Invalid";
        case MotionCommandClass::Stance:
            return "Stance";
        case MotionCommandClass::Locomotion:
            return "Locomotion";
        case MotionCommandClass::Turn:
            return "Turn";
        case MotionCommandClass::Jump:
            return "Jump";
        case MotionCommandClass::Stop:
            return "Stop";
        case MotionCommandClass::HoldKey:
            return "HoldKey";
        case MotionCommandClass::Aim:
            return "Aim";
        case MotionCommandClass::MagicGesture:
            return "MagicGesture";
        case MotionCommandClass::Posture:
            return "Posture";
        case MotionCommandClass::StateEmote:
            return "StateEmote";
        case MotionCommandClass::QuickEmote:
            return "QuickEmote";
        case MotionCommandClass::UiPanel:
            return "UiPanel";
        case MotionCommandClass::Action:
            return "Action";
        case MotionCommandClass::AttackHigh:
            return "AttackHigh";
        case MotionCommandClass::AttackMedium:
            return "AttackMedium";
        case MotionCommandClass::AttackLow:
            return "AttackLow";
        case MotionCommandClass::Misc:
            return "Misc";
    }
    // Only a value cast from outside the enumeration reaches here.
    return "MotionCommandClass(" + std::to_string(static_cast<unsigned>(command_class)) + ")";
}

void require_strictly_sorted(std::span<const MotionCommandRow> rows) {
    if (const auto unordered = first_unordered_rows(rows)) {
        std::string message = "table not strictly sorted: 0x";
        message.append(tarnwick_base::hex_upper(unordered->earlier.code)).append(" (");
        message.append(unordered->earlier.name).append(") >= 0x");
        message.append(tarnwick_base::hex_upper(unordered->later.code)).append(" (");
        message.append(unordered->later.name).push_back(')');
        runner::fail(std::move(message));
    }
}

namespace tests {

RUNNER_CHECK(table_is_strictly_sorted_for_binary_search) {
    require_strictly_sorted(MOTION_COMMAND_NAMES);
}

RUNNER_CHECK(lookup_known_commands) {
    const std::pair<std::uint32_t, std::optional<std::string_view>> known[] = {
        {0x8000003D, "NonCombat"},   {0x4000000C, "Off"},        {0x45000005, "WalkForward"},
        {0x44000007, "RunForward"},  {0x6500000D, "TurnRight"},  {0x2500003B, "Jump"},
        {0x10000186, "AttackHigh4"}, {0xDEADBEEF, std::nullopt},
    };
    for (const auto& [code, name] : known) {
        runner::assert_eq(motion_command_name(code), name);
    }
}

RUNNER_CHECK(classify_known_commands) {
    using enum MotionCommandClass;
    const std::pair<std::uint32_t, MotionCommandClass> known[] = {
        {0x8000003D, Stance},     {0x45000005, Locomotion},   {0x6500000D, Turn},
        {0x2500003B, Jump},       {0x4000001E, Aim},          {0x4000002B, MagicGesture},
        {0x10000186, AttackHigh}, {0x10000187, AttackMedium}, {0x10000188, AttackLow},
        {0x1000011F, AttackLow},  {0x10000121, AttackHigh},   {0x10000185, Action},
    };
    for (const auto& [code, expected] : known) {
        runner::assert_eq(motion_command_class(code), expected);
    }
}

}  // namespace tests

}  // namespace common::motion_command_names
