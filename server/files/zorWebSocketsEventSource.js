/* zorWebSockets fallback for browsers without WebSocket: messages arrive as
 * server-sent events; the first event names this connection, and messages
 * to the server are posted to /zor/xhr/<that name>. It offers the part of
 * the WebSocket interface that zorWebSockets.js uses. */
(function (global) {
  "use strict";

  function zorEventSource(url) {
    var self = this;
    this.readyState = 0;
    this.onopen = this.onmessage = this.onerror = this.onclose = null;
    this._base = url.replace(/^(https?:\/\/[^\/]+).*$/, "$1");
    this._guid = "";
    this._source = new global.EventSource(url);
    this._source.onmessage = function (event) {
      if (!self._guid) {
        self._guid = event.data;
        self.readyState = 1;
        if (self.onopen) self.onopen();
        return;
      }
      if (self.onmessage) self.onmessage({ data: event.data });
    };
    this._source.onerror = function (error) {
      if (self.onerror) self.onerror(error);
      if (self._source.readyState === 2) self._closed(1006, "");
    };
  }

  zorEventSource.prototype.send = function (text) {
    var request = new global.XMLHttpRequest();
    request.open("POST", this._base + "/zor/xhr/" + encodeURIComponent(this._guid), true);
    request.setRequestHeader("Content-Type", "text/plain; charset=utf-8");
    request.send(text);
  };

  zorEventSource.prototype.close = function (code, reason) {
    this._source.close();
    this._closed(code || 1000, reason || "");
  };

  zorEventSource.prototype._closed = function (code, reason) {
    if (this.readyState === 3) return;
    this.readyState = 3;
    if (this.onclose) this.onclose({ code: code, reason: reason });
  };

  global.zorEventSource = zorEventSource;
})(this);
