"use strict";
// The page's texts, in Japanese as the panel's are. lupdate reads them from here into the
// WebPage context of res/translations/pelmora_en.ts, and the build takes their English from
// there, so the page and the panel are translated in one place.

// Marks a text for lupdate; the page looks its English up when it shows it.
function QT_TRANSLATE_NOOP(context, text) {
  return text;
}

const pageTexts = {
  positive: QT_TRANSLATE_NOOP("WebPage", "正電源"),
  negative: QT_TRANSLATE_NOOP("WebPage", "負電源"),
  voltage: QT_TRANSLATE_NOOP("WebPage", "電圧"),
  current: QT_TRANSLATE_NOOP("WebPage", "電流"),
  output: QT_TRANSLATE_NOOP("WebPage", "出力"),
  on: QT_TRANSLATE_NOOP("WebPage", "オン"),
  off: QT_TRANSLATE_NOOP("WebPage", "オフ"),
  port: QT_TRANSLATE_NOOP("WebPage", "ポート"),
  notConnected: QT_TRANSLATE_NOOP("WebPage", "未接続"),
  silent: QT_TRANSLATE_NOOP("WebPage", "%1 (応答なし)"),
  serverLost: QT_TRANSLATE_NOOP("WebPage", "サーバーとの接続が切れました。つなぎ直しています…"),
  protection: QT_TRANSLATE_NOOP("WebPage", "過電流保護"),
  rail: QT_TRANSLATE_NOOP("WebPage", "レール"),
  watched: QT_TRANSLATE_NOOP("WebPage", "有効"),
  limit: QT_TRANSLATE_NOOP("WebPage", "上限 [mA]"),
  positiveRail: QT_TRANSLATE_NOOP("WebPage", "正側"),
  negativeRail: QT_TRANSLATE_NOOP("WebPage", "負側"),
  delay: QT_TRANSLATE_NOOP("WebPage", "投入後の待ち時間 [s]"),
  apply: QT_TRANSLATE_NOOP("WebPage", "適用"),
  tripped: QT_TRANSLATE_NOOP("WebPage", "トリップ: %1"),
  trip: QT_TRANSLATE_NOOP("WebPage", "%1 %2 mA > %3 mA (%4)"),
  notTripped: QT_TRANSLATE_NOOP("WebPage", "トリップなし"),
  clearTrip: QT_TRANSLATE_NOOP("WebPage", "トリップを解除"),
  program: QT_TRANSLATE_NOOP("WebPage", "シーケンス実行"),
  noProgram: QT_TRANSLATE_NOOP("WebPage", "実行中のシーケンスはありません"),
  step: QT_TRANSLATE_NOOP("WebPage", "ステップ %1 / %2"),
  left: QT_TRANSLATE_NOOP("WebPage", "残り %1:%2"),
  endless: QT_TRANSLATE_NOOP("WebPage", "停止するまで繰り返します"),
  stop: QT_TRANSLATE_NOOP("WebPage", "停止"),
  graph: QT_TRANSLATE_NOOP("WebPage", "電流グラフ"),
  currentAxis: QT_TRANSLATE_NOOP("WebPage", "電流 [mA]"),
  minutes: QT_TRANSLATE_NOOP("WebPage", "%1 分"),
  refusedNow: QT_TRANSLATE_NOOP("WebPage", "今の状態では変更できません"),
  refusedValue: QT_TRANSLATE_NOOP("WebPage", "その値は使えません"),
  refusedSupply: QT_TRANSLATE_NOOP("WebPage", "電源が応答しません"),
  refused: QT_TRANSLATE_NOOP("WebPage", "変更できませんでした"),
  unreachable: QT_TRANSLATE_NOOP("WebPage", "サーバーに届きませんでした"),
};
