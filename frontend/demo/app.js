// Demo point-of-sale front end for Zentavo TEF Server.
//
// Everything a front end needs is in this file, top to bottom:
//   1. the connection (WebSocket over TLS, reconnecting when it drops),
//   2. sending requests (session, payment, cancellation, reprint, terminal routes),
//   3. handling what the service sends (prompts, notices, can_cancel, result, errors),
//   4. drawing each prompt and sending the operator's answer.
// The protocol itself is described in doc/protocol.md.
"use strict";

const $ = (id) => document.getElementById(id);
const params = new URLSearchParams(location.search);

// Routes that answer at once; when the service has no handler for them it
// sends nothing, so the page says so instead of waiting forever.
const REPLY_TIMEOUT_MS = 5000;

const state = {
  ws: null,
  wantConnected: false,    // reconnect while true
  retryMs: 1000,
  sessionUuid: null,
  running: false,          // a /transaction is in progress
  pendingTool: null,       // {route, timer} of a /version, /pinpad/status, /initialize or /print request
  lastResult: null,
  connectionError: false,  // the error banner shows a failed connection (cleared on reconnect)
};

// ---------------------------------------------------------------- 1. connection

function connect() {
  state.wantConnected = true;
  if (state.ws && state.ws.readyState <= WebSocket.OPEN) return;
  const url = $("service-url").value.trim();
  setConnection("connecting", "conectando…");
  let ws;
  try {
    ws = new WebSocket(url);
  } catch (e) {
    showError("Endereço do serviço inválido: " + e.message);
    return;
  }
  state.ws = ws;
  ws.onopen = () => {
    state.retryMs = 1000;
    setConnection("on", "conectado");
    log("info", "conectado a " + url);
    if (state.connectionError) clearError();
    refreshButtons();
  };
  ws.onmessage = (ev) => receive(ev.data);
  ws.onclose = (ev) => {
    if (state.ws !== ws) return;
    state.ws = null;
    refreshButtons();
    if (!state.wantConnected) {
      setConnection("off", "desconectado");
      return;
    }
    // The session survives a dropped connection; a payment that is running
    // goes on in the service and keeps talking to whichever connection is current.
    const wait = state.retryMs;
    state.retryMs = Math.min(state.retryMs * 2, 10000);
    setConnection("off", "conexão perdida, reconectando em " + wait / 1000 + " s");
    log("info", "conexão fechada (código " + ev.code + "), nova tentativa em " + wait + " ms");
    setTimeout(() => { if (state.wantConnected) connect(); }, wait);
  };
  ws.onerror = () => {
    // The browser hides the reason; the usual ones are listed here.
    showError("Não foi possível falar com " + url + ". Verifique se o serviço está no ar, se o " +
              "certificado da CA de desenvolvimento é confiável neste navegador e se a página " +
              "foi aberta de uma origem local (ver doc/protocol.md, Local Network Access).", true);
  };
}

function setConnection(cls, text) {
  const el = $("connection");
  el.className = "badge " + cls;
  el.textContent = text;
}

function send(message) {
  if (!state.ws || state.ws.readyState !== WebSocket.OPEN) {
    showError("Sem conexão com o serviço.");
    return false;
  }
  const text = JSON.stringify(message);
  state.ws.send(text);
  log("out", text);
  return true;
}

// ---------------------------------------------------------------- 2. requests

async function fetchDevToken() {
  // DEVELOPMENT ONLY: tools/demo.py signs tokens with the development key.
  // In a shop the token comes from the shop's own backend, never from a key in the page.
  const saleId = $("sale-id").value || "1";
  const tokenUrl = params.get("token_url") || "/dev/token";
  try {
    const reply = await fetch(tokenUrl + "?sale_id=" + encodeURIComponent(saleId));
    if (!reply.ok) throw new Error("HTTP " + reply.status + " " + (await reply.text()));
    $("token").value = (await reply.text()).trim();
  } catch (e) {
    showError("Não foi possível obter um token de desenvolvimento: " + e.message);
  }
}

async function startSession() {
  if (!$("token").value.trim() && params.has("token_url")) await fetchDevToken();
  const token = $("token").value.trim();
  if (!token) { showError("Informe o token da sessão."); return; }
  clearError();
  send({ route: "/session/start", type: "session", token: token });
}

function finishSession() {
  send({ route: "/session/finish", session_uuid: state.sessionUuid, type: "session" });
}

function startTransaction(message) {
  clearError();
  clearDialogue();
  $("result").hidden = true;
  if (send(Object.assign({ route: "/transaction", session_uuid: state.sessionUuid }, message))) {
    state.running = true;
    refreshButtons();
  }
}

function pay() {
  startTransaction({
    type: "transaction",
    operation: Number($("operation").value),
    payer_name: $("payer-name").value,
    sale_id: Number($("sale-id").value),
    transaction_value: $("value").value,
    number_of_installments: Number($("installments").value || 0),
  });
}

function cancelPayment() {
  startTransaction({
    type: "cancellation",
    operation: Number($("cancel-operation").value),
    cancellation_nsu: $("cancel-nsu").value,
    transaction_date: $("cancel-date").value,
    transaction_value: $("cancel-value").value,
    sale_id: Number($("sale-id").value),
  });
}

function reprint(ev) {
  startTransaction({ type: "reprint", operation: Number(ev.target.dataset.operation) });
}

function cancelRunning() {
  // Honoured only while the service announced can_cancel true.
  send({ route: "/transaction/cancel", session_uuid: state.sessionUuid, type: "cancellation" });
}

function toolRequest(message) {
  clearError();
  if (!send(message)) return;
  if (state.pendingTool) clearTimeout(state.pendingTool.timer);
  const route = message.route;
  $("tool-output").textContent = route + ": aguardando resposta…";
  state.pendingTool = {
    route: route,
    timer: setTimeout(() => {
      state.pendingTool = null;
      // "/print" answers only when something is wrong.
      $("tool-output").textContent = route === "/print"
        ? "/print: documento enviado para a fila de impressão (nenhum erro em 5 s)."
        : route + ": o serviço não respondeu em 5 s.";
    }, REPLY_TIMEOUT_MS),
  };
}

function toolDone() {
  if (state.pendingTool) clearTimeout(state.pendingTool.timer);
  state.pendingTool = null;
}

function version() {
  toolRequest({ route: "/version", type: "version", category: $("version-category").value });
}

function pinpadStatus() {
  toolRequest({ route: "/pinpad/status", session_uuid: state.sessionUuid, type: "status" });
}

function initialize() {
  toolRequest({ route: "/initialize", session_uuid: state.sessionUuid, type: "initialize" });
}

function print() {
  const file = $("print-file").files[0];
  if (!file) { showError("Escolha um arquivo PDF ou um layout (.gdi) para imprimir."); return; }
  const reader = new FileReader();
  reader.onload = () => {
    // A data URL ("data:application/pdf;base64,....") is accepted as it is.
    toolRequest({ route: "/print", type: "print", data: reader.result, file_type: $("print-type").value });
  };
  reader.onerror = () => showError("Não foi possível ler o arquivo: " + reader.error);
  reader.readAsDataURL(file);
}

// ---------------------------------------------------------------- 3. messages from the service

function receive(text) {
  let msg;
  try {
    msg = JSON.parse(text);
    // Re-serialised for reading: the service escapes every accented letter.
    log("in", JSON.stringify(msg));
  } catch (e) {
    log("in", text);
    // The print route may answer a failure in plain text.
    toolDone();
    showError(text);
    return;
  }
  switch (msg.type) {
    case "session":    return onSession(msg);
    case "message":    return showNotice(msg.message);
    case "menu":       return showMenu(msg);
    case "collect":    return showCollect(msg);
    case "question":   return showQuestion(msg);
    case "confirmation": return showConfirmation(msg);
    case "qrcode":     return showQRCode(msg.data);
    case "can_cancel": $("cancel-running").hidden = !msg.can_cancel; return;
    case "receipt":    return showReceiptCopy(msg);
    case "result":     return showResult(msg);
    case "version":
      toolDone();
      $("tool-output").textContent = "Versão " + msg.category + ": " + msg.version +
        "\nAtualização registrada: " + (msg.updating ? "sim" : "não") + "\nPDV: " + msg.pdv_number;
      return;
    case "initialize":
      toolDone();
      $("tool-output").textContent = "TEF: " + msg.message;
      return;
    case "status":
      toolDone();
      $("tool-output").textContent = "PIN pad: " + (msg.status || "(sem estado)") +
        (msg.message ? " — " + msg.message : "");
      return;
    case "error":
      toolDone();
      // An error during a payment ends it: no result follows.
      if (state.running && !hasPrompt()) endTransaction();
      showError(msg.message);
      return;
    default:
      showError("Mensagem desconhecida do serviço: " + text);
  }
}

function onSession(msg) {
  if (msg.status === "created") {
    state.sessionUuid = msg.session_uuid;
    const info = $("session-info");
    info.innerHTML = "";
    for (const [k, v] of [["Sessão", msg.session_uuid], ["Expira", new Date(msg.expiration).toLocaleString()],
                          ["Loja", msg.store_code], ["Terminal", msg.terminal_number]]) {
      info.append(el("dt", k), el("dd", v));
    }
    showNotice(msg.message);
  } else if (msg.status === "finished") {
    state.sessionUuid = null;
    $("session-info").innerHTML = "";
    showNotice(msg.message);
  }
  refreshButtons();
}

function showNotice(text) {
  $("notice").textContent = text || "";
}

function showResult(msg) {
  endTransaction();
  state.lastResult = msg;
  const box = $("result");
  box.innerHTML = "";
  box.hidden = false;
  box.className = "result " + msg.status;
  box.append(el("h3", statusText(msg.status) + " — " + msg.message));
  for (const entry of msg.transaction_data || []) {
    const table = el("table");
    for (const [key, value] of Object.entries(entry)) {
      if (key === "receipt") continue;
      const row = el("tr");
      row.append(el("th", key), el("td", String(value)));
      table.append(row);
    }
    box.append(table);
    const copies = el("div", null, "receipts");
    for (const copy of entry.receipt || []) {
      const fig = el("figure", null, "receipt copy-" + copy.copy_number);
      fig.append(el("figcaption", copy.copy_number === 1 ? "1ª via (cliente)" : "2ª via (estabelecimento)"),
                 el("pre", copy.data.join("\n")));
      copies.append(fig);
    }
    box.append(copies);
    // Offer the cancellation of what was just approved.
    if (msg.status === "approved" && entry.nsu_code && entry.operation !== "cancellation") {
      $("cancel-nsu").value = entry.nsu_code;
      $("cancel-date").value = localDateTime(entry.transaction_date_time);
      $("cancel-value").value = Number(entry.transaction_value).toFixed(2).replace(".", ",");
    }
  }
}

function showReceiptCopy(msg) {
  const fig = el("figure", null, "receipt");
  fig.append(el("figcaption", "Via " + msg.copy_number), el("pre", msg.data.join("\n")));
  $("prompt").append(fig);
}

function statusText(status) {
  return { approved: "Aprovada", canceled: "Cancelada", unauthorized: "Não autorizada" }[status] || status;
}

function endTransaction() {
  state.running = false;
  clearDialogue();
  refreshButtons();
}

// ---------------------------------------------------------------- 4. prompts and answers

// Answers travel on route "/transaction" and need no session_uuid: the running
// payment reads them itself.
function answer(fields) {
  clearPrompt();
  send(Object.assign({ route: "/transaction" }, fields));
}

function showMenu(msg) {
  const box = promptBox(msg.title || "Escolha uma opção");
  const list = el("div", null, "options");
  for (const option of msg.options) {
    const b = button(option.replace(/^\d+:/, ""), () => answer({ type: "menu", response: option }));
    b.dataset.option = option;
    list.append(b);
  }
  box.append(list, backCancelRow(
    () => answer({ type: "menu", response: "", back_menu: true }),
    () => answer({ type: "menu", response: "", back_menu: false })));
}

function showCollect(msg) {
  const box = promptBox(msg.title);
  const input = el("input");
  input.id = "collect-input";
  input.minLength = msg.minimum_size;
  input.maxLength = msg.maximum_size > 0 ? msg.maximum_size : 524288;
  if (msg.field_operation === "currency") input.inputMode = "decimal";
  if (msg.field_operation === "segurança") input.type = "password";
  const hint = el("small", msg.maximum_size > 0
    ? "de " + msg.minimum_size + " a " + msg.maximum_size + " caracteres" : "");
  const form = el("form", null, "collect");
  form.append(input, button("Enviar", null, "primary"), hint);
  form.onsubmit = (ev) => {
    ev.preventDefault();
    const v = input.value;
    if (v.length < msg.minimum_size || (msg.maximum_size > 0 && v.length > msg.maximum_size)) {
      hint.className = "bad";
      return;
    }
    answer({ type: "collect", typed: true, response: v });
  };
  box.append(form, backCancelRow(
    () => answer({ type: "collect", typed: false, back_menu: true }),
    () => answer({ type: "collect", typed: false, back_menu: false })));
  input.focus();
}

function showQuestion(msg) {
  // Questions arrive with the TEF library's own line break, "@".
  const box = promptBox(msg.message.replace(/@/g, "\n"));
  const row = el("div", null, "options");
  for (const option of msg.options) {
    row.append(button(option, () => answer({ type: "question", response: option })));
  }
  box.append(row);
}

function showConfirmation(msg) {
  const box = promptBox(msg.message);
  box.append(button((msg.options && msg.options[0]) || "Ok", () => answer({ type: "confirmation" }), "primary"));
}

function showQRCode(data) {
  // Error correction M and the smallest version that holds the data.
  const qr = qrcode(0, "M");
  qr.addData(data, "Byte");
  qr.make();
  const box = $("qrcode");
  box.innerHTML = qr.createSvgTag({ cellSize: 4, margin: 4, scalable: true });
  box.querySelector("svg").dataset.modules = qr.getModuleCount();
  box.append(el("code", data));
  box.hidden = false;
}

function promptBox(title) {
  clearPrompt();
  const box = $("prompt");
  box.append(el("p", title, "prompt-title"));
  return box;
}

function backCancelRow(onBack, onCancel) {
  const row = el("div", null, "row");
  row.append(button("Voltar", onBack), button("Cancelar", onCancel, "danger"));
  return row;
}

function hasPrompt() { return $("prompt").childElementCount > 0; }
function clearPrompt() { $("prompt").innerHTML = ""; }

function clearDialogue() {
  clearPrompt();
  showNotice("");
  $("qrcode").hidden = true;
  $("qrcode").innerHTML = "";
  $("cancel-running").hidden = true;
}

// ---------------------------------------------------------------- helpers

function el(tag, text, cls) {
  const e = document.createElement(tag);
  if (text != null) e.textContent = text;
  if (cls) e.className = cls;
  return e;
}

function button(text, onClick, cls) {
  const b = el("button", text, cls);
  if (onClick) { b.type = "button"; b.onclick = onClick; }
  return b;
}

function showError(text, aboutConnection) {
  state.connectionError = !!aboutConnection;
  const e = $("error");
  e.textContent = text;
  e.hidden = false;
}

function clearError() { $("error").hidden = true; }

function localDateTime(iso) {
  const d = new Date(iso);
  if (isNaN(d)) return "";
  const p = (n) => String(n).padStart(2, "0");
  return d.getFullYear() + "-" + p(d.getMonth() + 1) + "-" + p(d.getDate()) + " " +
         p(d.getHours()) + ":" + p(d.getMinutes()) + ":" + p(d.getSeconds());
}

function log(kind, text) {
  const item = el("li", text, kind);
  item.dataset.time = new Date().toLocaleTimeString();
  const list = $("log");
  list.append(item);
  list.scrollTop = list.scrollHeight;
}

function refreshButtons() {
  const online = !!state.ws && state.ws.readyState === WebSocket.OPEN;
  const ready = online && !!state.sessionUuid && !state.running;
  for (const id of ["pay", "cancel-payment", "reprint-last", "reprint-given"]) $(id).disabled = !ready;
  $("session-finish").disabled = !online || !state.sessionUuid;
  $("pinpad-status").disabled = !online || !state.sessionUuid;
  $("initialize").disabled = !online || !state.sessionUuid;
  $("connect").textContent = online ? "Reconectar" : "Conectar";
}

// ---------------------------------------------------------------- start

if (params.has("service")) $("service-url").value = params.get("service");
if (!params.has("token_url")) $("dev-token").hidden = true;
$("connect").onclick = () => { if (state.ws) state.ws.close(); connect(); };
$("dev-token").onclick = fetchDevToken;
$("session-start").onclick = startSession;
$("session-finish").onclick = finishSession;
$("pay").onclick = pay;
$("cancel-payment").onclick = cancelPayment;
$("reprint-last").onclick = reprint;
$("reprint-given").onclick = reprint;
$("cancel-running").onclick = cancelRunning;
$("version").onclick = version;
$("pinpad-status").onclick = pinpadStatus;
$("initialize").onclick = initialize;
$("print").onclick = print;
$("clear-log").onclick = () => { $("log").innerHTML = ""; };
connect();
