// Drives our authorization server with Node's openid-client as a plain
// OAuth2 client: the code grant with PKCE (a scripted browser signs in on the
// page), a protected request, a refresh and a replay of the refresh token it
// replaced, client credentials with Basic authentication, and a wrong secret.
// Prints one line per step.
// node openid_client.mjs <base address> <client id> <client secret> <redirect address>
import * as client from 'openid-client';

const [base, clientId, secret, redirect] = process.argv.slice(2);
const server = {
  issuer: base,
  authorization_endpoint: base + '/zor/oauth2/auth',
  token_endpoint: base + '/zor/oauth2/token',
};

async function step(name, action) {
  try {
    console.log(name + ': ' + (await action()));
  } catch (error) {
    console.log(name + ': ' + (error.error ?? error.code ?? error.message));
  }
}

// The browser: shows the page, signs in with its form, stops at the redirect.
async function signIn(url) {
  const page = await (await fetch(url)).text();
  const id = /name="id" value="([0-9a-f]{64})"/.exec(page)[1];
  const form = new URLSearchParams({ request_type: 'sign-in', username: 'alice', password: 'p&ss w', id });
  const answer = await fetch(server.authorization_endpoint, { method: 'POST', body: form, redirect: 'manual' });
  return new URL(answer.headers.get('location'));
}

const config = new client.Configuration(server, clientId, secret);
const verifier = client.randomPKCECodeVerifier();
const state = client.randomState();
const url = client.buildAuthorizationUrl(config, {
  redirect_uri: redirect,
  scope: 'read write',
  state,
  code_challenge: await client.calculatePKCECodeChallenge(verifier),
  code_challenge_method: 'S256',
});
const callback = await signIn(url);
const tokens = await client.authorizationCodeGrant(config, callback, { pkceCodeVerifier: verifier, expectedState: state });
console.log('code grant: ' + [tokens.token_type, tokens.expires_in, tokens.scope, tokens.access_token.length].join(' '));
const resource = await client.fetchProtectedResource(config, tokens.access_token, new URL(base + '/data'), 'GET');
console.log('resource: ' + resource.status + ' ' + (await resource.text()));
await step('replayed code', async () =>
  (await client.authorizationCodeGrant(config, callback, { pkceCodeVerifier: verifier, expectedState: state })).token_type);
await step('wrong verifier', async () => {
  const again = await signIn(client.buildAuthorizationUrl(config, {
    redirect_uri: redirect,
    state,
    code_challenge: await client.calculatePKCECodeChallenge(verifier),
    code_challenge_method: 'S256',
  }));
  return (await client.authorizationCodeGrant(config, again, {
    pkceCodeVerifier: client.randomPKCECodeVerifier(), expectedState: state,
  })).token_type;
});

const refreshed = await client.refreshTokenGrant(config, tokens.refresh_token);
console.log('refresh: ' + (refreshed.access_token === tokens.access_token ? 'same token' : 'new token') + ' ' +
            refreshed.expires_in + ' ' + (refreshed.refresh_token !== tokens.refresh_token ? 'new refresh token' : 'same refresh token'));
await step('replayed refresh token', async () => (await client.refreshTokenGrant(config, tokens.refresh_token)).token_type);
await step('rotated refresh token', async () => (await client.refreshTokenGrant(config, refreshed.refresh_token)).token_type);

const machine = new client.Configuration(server, clientId, {}, client.ClientSecretBasic(secret));
const granted = await client.clientCredentialsGrant(machine, { scope: 'jobs' });
console.log('client credentials: ' + granted.token_type + ' ' + granted.scope + ' ' + granted.access_token.length);
const wrong = new client.Configuration(server, clientId, {}, client.ClientSecretPost('wrong'));
await step('wrong secret', async () => (await client.clientCredentialsGrant(wrong)).token_type);
console.log('done');
