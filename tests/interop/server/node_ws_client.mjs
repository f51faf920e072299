// Echo checks against a WebSocket server with Node's ws client.
//   node node_ws_client.mjs URL [--ca FILE] [--deflate]
// Prints "ok <case>" per echo, "ok close <code>" and "done"; "failed: ..." and exit 1 otherwise.
import fs from "node:fs";
import WebSocket from "ws";

const [url, ...rest] = process.argv.slice(2);
const ca = rest.includes("--ca") ? fs.readFileSync(rest[rest.indexOf("--ca") + 1]) : undefined;
const deflate = rest.includes("--deflate");
const fail = (error) => {
  console.log("failed:", String(error));
  process.exit(1);
};
const ws = new WebSocket(url, { ca, perMessageDeflate: deflate, maxPayload: 0 });
const cases = [
  ["text", "héllo wörld"],
  ["binary", Buffer.from([...Array(256).keys()])],
  ["empty", ""],
  ["large", "y".repeat(1 << 20)],
];
let index = 0;
const sendNext = () => ws.send(cases[index][1]);
ws.on("open", () => {
  if (deflate) {
    if (!ws.extensions.includes("permessage-deflate")) fail("permessage-deflate was not negotiated");
    console.log("ok deflate");
  }
  sendNext();
});
ws.on("message", (data, isBinary) => {
  const [name, sent] = cases[index];
  const same = typeof sent === "string" ? !isBinary && data.toString("utf8") === sent : isBinary && data.equals(sent);
  if (!same) fail(`${name}: echo differs`);
  console.log("ok", name);
  if (++index < cases.length) sendNext();
  else ws.close(1000);
});
ws.on("close", (code) => {
  if (index < cases.length) fail(`closed early with ${code}`);
  console.log("ok close", code);
  console.log("done");
  process.exit(0);
});
ws.on("error", fail);
setTimeout(() => fail("timed out"), 30000);
