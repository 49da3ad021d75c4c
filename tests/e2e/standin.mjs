// A small stand-in for the desktop server: serves the renderer's files, streams recorded
// descriptions and records the events the page posts, so the renderer is tested on its own.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize, sep } from 'node:path';

const ONE_PIXEL_PNG = Buffer.from(
    'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==',
    'base64',
);
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css' };

// `onEvent(event, push)` plays the model's part for the events a case needs answered.
export async function startStandIn(webRoot, snapshot, onEvent = () => {}) {
    const token = 'f00dfeed';
    const clients = new Set();
    const events = [];
    const refusals = [];
    let nextAnswer = null;
    let answerDelay = 0;

    const push = (name, data) => {
        for (const client of clients) {
            client.write(`event: ${name}\ndata: ${JSON.stringify(data)}\n\n`);
        }
    };
    const authorised = (request) => (request.headers.cookie ?? '').includes(`swfharvex_token=${token}`);

    const server = createServer(async (request, response) => {
        const url = new URL(request.url, 'http://127.0.0.1');
        if (url.pathname === '/' && url.searchParams.get('token') === token) {
            response.writeHead(303, {
                Location: '/',
                'Set-Cookie': `swfharvex_token=${token}; HttpOnly; SameSite=Strict; Path=/`,
            });
            return response.end();
        }
        if (!authorised(request)) {
            response.writeHead(403);
            return response.end();
        }
        if (url.pathname === '/') {
            const page = (await readFile(join(webRoot, 'desktop.html'), 'utf8')).replace('{{SWFHARVEX_TOKEN}}', token);
            response.writeHead(200, {
                'Content-Type': 'text/html',
                'Content-Security-Policy': "default-src 'self'; img-src 'self'; object-src 'none'; base-uri 'none'",
            });
            return response.end(page);
        }
        if (url.pathname.startsWith('/ui/')) {
            const file = normalize(join(webRoot, url.pathname.slice(4)));
            if (!file.startsWith(webRoot + sep)) {
                response.writeHead(404);
                return response.end();
            }
            try {
                const body = await readFile(file);
                response.writeHead(200, { 'Content-Type': TYPES[extname(file)] ?? 'application/octet-stream' });
                return response.end(body);
            } catch {
                response.writeHead(404);
                return response.end();
            }
        }
        if (url.pathname === '/icon') {
            response.writeHead(200, { 'Content-Type': 'image/png' });
            return response.end(ONE_PIXEL_PNG);
        }
        if (url.pathname === '/events') {
            response.writeHead(200, { 'Content-Type': 'text/event-stream', 'Cache-Control': 'no-store' });
            response.write(`event: snapshot\ndata: ${JSON.stringify(snapshot())}\n\n`);
            clients.add(response);
            request.on('close', () => clients.delete(response));
            return undefined;
        }
        if (url.pathname === '/event' && request.method === 'POST') {
            let body = '';
            for await (const chunk of request) {
                body += chunk;
            }
            if (request.headers['x-swfharvex-token'] !== token || request.headers['content-type'] !== 'application/json') {
                refusals.push(body);
                response.writeHead(403);
                return response.end();
            }
            const event = JSON.parse(body);
            events.push(event);
            onEvent(event, push);
            if (answerDelay > 0) {
                await new Promise((resolve) => setTimeout(resolve, answerDelay));
            }
            const answer = nextAnswer ?? { status: 200, body: { ok: true } };
            nextAnswer = null;
            response.writeHead(answer.status, { 'Content-Type': 'application/json' });
            return response.end(JSON.stringify(answer.body));
        }
        response.writeHead(404);
        return response.end();
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    const { port } = server.address();
    return {
        url: `http://127.0.0.1:${port}/?token=${token}`,
        events,
        refusals,
        push,
        delayAnswers(ms) {
            answerDelay = ms;
        },
        answerNextWith(status, body) {
            nextAnswer = { status, body };
        },
        close() {
            for (const client of clients) {
                client.end();
            }
            server.closeAllConnections();
            return new Promise((resolve) => server.close(resolve));
        },
    };
}
