/* zorWebSockets Flash fallback. Browsers no longer run Flash, so there is no
 * Flash transport any more: browsers without WebSocket use the server-sent
 * events fallback (zorWebSocketsEventSource.js) instead. */
(function (global) {
  "use strict";
  global.zorFlashAvailable = false;
  if (!global.WebSocket && global.console) {
    global.console.info("zorWebSockets: Flash is not available; using server-sent events instead.");
  }
})(this);
