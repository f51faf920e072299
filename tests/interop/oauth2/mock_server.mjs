// The mock authorization server our OAuth2 client is tested against, over
// HTTPS: node mock_server.mjs <port> <key file> <certificate file>.
import { OAuth2Server } from 'oauth2-mock-server';

const [port, key, cert] = process.argv.slice(2);
const server = new OAuth2Server(key, cert);
await server.issuer.keys.generate('RS256');
await server.start(Number(port), '127.0.0.1');
console.log('listening on ' + server.issuer.url);
process.on('SIGTERM', async () => {
  await server.stop();
  process.exit(0);
});
