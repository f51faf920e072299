// Node's http2 client: several requests on one session, then prints
// "<path> <status> <length>" per request and "DONE".
const http2 = require('http2');
const [url, ca] = process.argv.slice(2);
const options = ca ? { ca: require('fs').readFileSync(ca) } : {};
const session = http2.connect(url, options);
session.on('error', (e) => { console.log('ERROR ' + e.message); process.exit(1); });
const paths = ['/', '/size/100000', '/size/0', '/push'];
let left = paths.length;
const results = [];
for (const path of paths) {
  const req = session.request({ ':path': path });
  let length = 0;
  let status = 0;
  req.on('response', (headers) => { status = headers[':status']; });
  req.on('data', (chunk) => { length += chunk.length; });
  req.on('end', () => {
    results.push(`${path} ${status} ${length}`);
    if (--left === 0) {
      results.sort().forEach((line) => console.log(line));
      console.log('DONE');
      session.close();
    }
  });
  req.end();
}
