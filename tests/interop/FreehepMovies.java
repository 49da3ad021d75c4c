// Writes SWF movies with FreeHEP's SWF writer (Debian: libfreehep-graphicsio-swf-java), so the
// interop check has movies that another tool laid out and, for version 6 and up, compressed.
// Run with the single-file source launcher:
//   java -cp <freehep jars> FreehepMovies.java OUT:VERSION:WIDTH:HEIGHT:RATE:FRAMES:COMPRESS ...
import java.awt.Color;
import java.awt.Dimension;
import java.io.FileOutputStream;
import org.freehep.graphicsio.swf.End;
import org.freehep.graphicsio.swf.FrameLabel;
import org.freehep.graphicsio.swf.SWFOutputStream;
import org.freehep.graphicsio.swf.SetBackgroundColor;
import org.freehep.graphicsio.swf.ShowFrame;

public class FreehepMovies {
    public static void main(String[] args) throws Exception {
        for (String arg : args) {
            String[] f = arg.split(":");
            int version = Integer.parseInt(f[1]);
            Dimension size = new Dimension(Integer.parseInt(f[2]), Integer.parseInt(f[3]));
            float rate = Float.parseFloat(f[4]);
            int frames = Integer.parseInt(f[5]);
            boolean compress = Boolean.parseBoolean(f[6]);
            try (FileOutputStream file = new FileOutputStream(f[0])) {
                SWFOutputStream out = new SWFOutputStream(file, version, size, rate, compress);
                out.writeTag(new SetBackgroundColor(new Color(0x33, 0x66, 0x99)));
                for (int i = 0; i < frames; i++) {
                    // Labels only on the first few frames keep a 65535-frame movie small.
                    if (i < 16) {
                        out.writeTag(new FrameLabel("frame" + i));
                    }
                    out.writeTag(new ShowFrame());
                }
                // SWFOutputStream leaves the End tag to its caller (FreeHEP's own
                // SWFGraphics2D writes it the same way).
                out.writeTag(new End());
                out.close();
            }
        }
    }
}
