/* zorWebSockets: a small browser client for a zorWebSockets server.
 *
 *   var ws = new zorWebSocket("ws://host:port/path", { protocols: "chat", reconnect: true });
 *   ws.onopen = function () { ws.send("hello"); };
 *   ws.onmessage = function (text) { ... };
 *   ws.onclose = function (code, reason) { ... };
 *   ws.onerror = function (error) { ... };
 *
 * Where the browser has no WebSocket, messages come over server-sent events
 * (zorWebSocketsEventSource.js) and go back as posts. */
(function (global) {
  "use strict";

  function zorWebSocket(url, options) {
    if (!(this instanceof zorWebSocket)) return new zorWebSocket(url, options);
    options = options || {};
    this.url = url;
    this.protocols = options.protocols || "";
    this.reconnect = options.reconnect !== false;
    this.reconnectDelay = options.reconnectDelay || 1000;
    this.maxReconnectDelay = options.maxReconnectDelay || 30000;
    this.onopen = this.onmessage = this.onclose = this.onerror = null;
    this._closing = false;
    this._delay = this.reconnectDelay;
    this._socket = null;
    this._open();
  }

  zorWebSocket.prototype._emit = function (name) {
    var handler = this[name];
    if (typeof handler === "function") handler.apply(this, Array.prototype.slice.call(arguments, 1));
  };

  zorWebSocket.prototype._open = function () {
    var self = this;
    var socket;
    try {
      if (global.WebSocket) {
        socket = this.protocols ? new global.WebSocket(this.url, this.protocols.split(",")) : new global.WebSocket(this.url);
      } else if (global.zorEventSource) {
        socket = new global.zorEventSource(this.url.replace(/^ws/, "http"));
      } else {
        throw new Error("This browser has neither WebSocket nor EventSource");
      }
    } catch (error) {
      this._emit("onerror", error);
      this._retry();
      return;
    }
    this._socket = socket;
    socket.onopen = function () {
      self._delay = self.reconnectDelay;
      self._emit("onopen");
    };
    socket.onmessage = function (event) {
      self._emit("onmessage", event.data);
    };
    socket.onerror = function (error) {
      self._emit("onerror", error);
    };
    socket.onclose = function (event) {
      self._socket = null;
      self._emit("onclose", event ? event.code : 1006, event ? event.reason : "");
      self._retry();
    };
  };

  zorWebSocket.prototype._retry = function () {
    var self = this;
    if (this._closing || !this.reconnect) return;
    setTimeout(function () {
      if (!self._closing) self._open();
    }, this._delay);
    this._delay = Math.min(this._delay * 2, this.maxReconnectDelay);
  };

  zorWebSocket.prototype.send = function (text) {
    if (!this._socket || this._socket.readyState !== 1) throw new Error("Not connected");
    this._socket.send(text);
  };

  zorWebSocket.prototype.close = function (code, reason) {
    this._closing = true;
    if (this._socket) this._socket.close(code || 1000, reason || "");
  };

  global.zorWebSocket = zorWebSocket;
})(this);
