#include "collada_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unordered_map>

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

// Identical tuples of floats share one entry of a source array; the importer
// expands every triangle corner into a vertex of its own anyway.
struct TupleTable {
    int width = 3;
    std::vector<float> values;
    std::unordered_map<std::string, int> index;

    int add(const float* tuple) {
        std::string key(reinterpret_cast<const char*>(tuple), sizeof(float) * width);
        auto found = index.find(key);
        if (found != index.end()) return found->second;
        int id = static_cast<int>(values.size()) / width;
        values.insert(values.end(), tuple, tuple + width);
        index.emplace(key, id);
        return id;
    }
    int count() const { return static_cast<int>(values.size()) / width; }
};

void writeSource(std::string& out, const std::string& id, const TupleTable& table, const char* params) {
    out += "        <source id=\"" + id + "\">\n          <float_array id=\"" + id + "-array\" count=\"" +
           std::to_string(table.values.size()) + "\">";
    for (std::size_t i = 0; i < table.values.size(); ++i) {
        if (i) out += ' ';
        out += formatFloat(table.values[i]);
    }
    out += "</float_array>\n          <technique_common>\n            <accessor source=\"#" + id + "-array\" count=\"" +
           std::to_string(table.count()) + "\" stride=\"" + std::to_string(table.width) + "\">";
    for (const char* p = params; *p; ++p) {
        out += "<param name=\"";
        out += *p;
        out += "\" type=\"float\"/>";
    }
    out += "</accessor>\n          </technique_common>\n        </source>\n";
}

std::string colorText(Vec3 c) {
    return formatFloat(c.x) + " " + formatFloat(c.y) + " " + formatFloat(c.z) + " 1";
}

bool textured(const ColladaMaterial& m) { return !m.colorPath.empty(); }

}  // namespace

std::string formatFloat(float value) {
    if (value == 0.0f) return "0";
    char buffer[32];
    for (int precision = 6; precision <= 9; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, static_cast<double>(value));
        if (std::strtof(buffer, nullptr) == value) break;
    }
    return buffer;
}

std::string colladaText(const ColladaDocument& doc) {
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out += "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n";
    out += "  <asset>\n    <contributor><authoring_tool>" + escaped(doc.authoringTool) +
           "</authoring_tool></contributor>\n";
    out += "    <unit name=\"unit\" meter=\"" + formatFloat(doc.metersPerUnit) + "\"/>\n";
    out += "    <up_axis>Z_UP</up_axis>\n  </asset>\n";

    // Every map of every textured material is an image of its own, named by material and slot.
    static const char* kSlots[3] = {"color", "normal", "height"};
    out += "  <library_images>\n";
    for (std::size_t m = 0; m < doc.materials.size(); ++m) {
        const ColladaMaterial& mat = doc.materials[m];
        if (!textured(mat)) continue;
        const std::string* paths[3] = {&mat.colorPath, &mat.normalPath, &mat.heightPath};
        for (int s = 0; s < 3; ++s) {
            if (paths[s]->empty()) continue;
            std::string id = "image-" + mat.name + "-" + kSlots[s];
            out += "    <image id=\"" + id + "\" name=\"" + id + "\"><init_from>" + escaped(*paths[s]) +
                   "</init_from></image>\n";
        }
    }
    out += "  </library_images>\n";

    out += "  <library_effects>\n";
    for (const ColladaMaterial& mat : doc.materials) {
        out += "    <effect id=\"effect-" + mat.name + "\">\n      <profile_COMMON>\n";
        const std::string* paths[3] = {&mat.colorPath, &mat.normalPath, &mat.heightPath};
        if (textured(mat)) {
            for (int s = 0; s < 3; ++s) {
                if (paths[s]->empty()) continue;
                std::string base = mat.name + "-" + kSlots[s];
                out += "        <newparam sid=\"surface-" + base + "\"><surface type=\"2D\"><init_from>image-" + base +
                       "</init_from></surface></newparam>\n";
                out += "        <newparam sid=\"sampler-" + base + "\"><sampler2D><source>surface-" + base +
                       "</source></sampler2D></newparam>\n";
            }
        }
        out += "        <technique sid=\"common\">\n          <phong>\n";
        out += "            <emission><color>0 0 0 1</color></emission>\n";
        if (mat.ambient) out += "            <ambient><color>" + colorText(*mat.ambient) + "</color></ambient>\n";
        // A texture entry sets the slot's colour to white on import; the colour
        // written after it is the one that stays, so both are kept.
        auto slot = [&](const char* element, int s, Vec3 color) {
            out += std::string("            <") + element + ">";
            if (textured(mat) && !paths[s]->empty()) {
                out += "<texture texture=\"sampler-" + mat.name + "-" + kSlots[s] + "\" texcoord=\"UVSET0\"/>";
            }
            out += "<color>" + colorText(color) + "</color></" + element + ">\n";
        };
        slot("diffuse", 0, mat.diffuse);
        slot("specular", 1, mat.specular);
        if (mat.shininess) {
            out += "            <shininess><float>" + formatFloat(*mat.shininess) + "</float></shininess>\n";
        }
        if (textured(mat) && !mat.heightPath.empty()) {
            out += "            <transparent opaque=\"A_ONE\"><texture texture=\"sampler-" + mat.name +
                   "-height\" texcoord=\"UVSET0\"/></transparent>\n";
        }
        out += "          </phong>\n        </technique>\n      </profile_COMMON>\n    </effect>\n";
    }
    out += "  </library_effects>\n";

    out += "  <library_materials>\n";
    for (const ColladaMaterial& mat : doc.materials) {
        out += "    <material id=\"material-" + mat.name + "\" name=\"" + mat.name +
               "\"><instance_effect url=\"#effect-" + mat.name + "\"/></material>\n";
    }
    out += "  </library_materials>\n";

    out += "  <library_geometries>\n";
    for (const ColladaMesh& cm : doc.meshes) {
        const std::size_t corners = cm.positions.size();
        const bool hasNormals = !cm.normals.empty();
        const bool hasUvs = !cm.uvs.empty();
        TupleTable positions, normals, uvs;
        uvs.width = cm.uvWidth == 3 ? 3 : 2;
        // One index per input and corner, in input order.
        std::vector<int> indices;
        indices.reserve(corners * 3);
        for (std::size_t c = 0; c < corners; ++c) {
            const Vec3& position = cm.positions[c];
            float p[3] = {position.x, position.y, position.z};
            indices.push_back(positions.add(p));
            if (hasNormals) {
                const Vec3& normal = cm.normals[c];
                float n[3] = {normal.x, normal.y, normal.z};
                indices.push_back(normals.add(n));
            }
            if (hasUvs) indices.push_back(uvs.add(&cm.uvs[c * uvs.width]));
        }
        const std::string& id = cm.name;
        out += "    <geometry id=\"" + id + "\" name=\"" + id + "\">\n      <mesh>\n";
        writeSource(out, id + "-positions", positions, "XYZ");
        if (hasNormals) writeSource(out, id + "-normals", normals, "XYZ");
        if (hasUvs) writeSource(out, id + "-uvs", uvs, uvs.width == 3 ? "STP" : "ST");
        out += "        <vertices id=\"" + id + "-vertices\"><input semantic=\"POSITION\" source=\"#" + id +
               "-positions\"/></vertices>\n";

        const bool polylist = !cm.lines && !cm.polygonSizes.empty();
        const char* element = cm.lines ? "lines" : polylist ? "polylist" : "triangles";
        const std::size_t count = cm.lines ? corners / 2 : polylist ? cm.polygonSizes.size() : corners / 3;
        out += std::string("        <") + element + " material=\"surface\" count=\"" + std::to_string(count) + "\">\n";
        int offset = 0;
        out += "          <input semantic=\"VERTEX\" source=\"#" + id + "-vertices\" offset=\"" +
               std::to_string(offset++) + "\"/>\n";
        if (hasNormals) {
            out += "          <input semantic=\"NORMAL\" source=\"#" + id + "-normals\" offset=\"" +
                   std::to_string(offset++) + "\"/>\n";
        }
        if (hasUvs) {
            out += "          <input semantic=\"TEXCOORD\" source=\"#" + id + "-uvs\" offset=\"" +
                   std::to_string(offset++) + "\" set=\"0\"/>\n";
        }
        if (polylist) {
            out += "          <vcount>";
            for (std::size_t i = 0; i < cm.polygonSizes.size(); ++i) {
                if (i) out += ' ';
                out += std::to_string(cm.polygonSizes[i]);
            }
            out += "</vcount>\n";
        }
        out += "          <p>";
        for (std::size_t i = 0; i < indices.size(); ++i) {
            if (i) out += ' ';
            out += std::to_string(indices[i]);
        }
        out += std::string("</p>\n        </") + element + ">\n      </mesh>\n    </geometry>\n";
    }
    out += "  </library_geometries>\n";

    out += "  <library_visual_scenes>\n    <visual_scene id=\"scene\" name=\"scene\">\n";
    for (const ColladaMesh& cm : doc.meshes) {
        const std::string& matName = doc.materials[cm.material].name;
        out += "      <node id=\"node-" + cm.name + "\" name=\"" + cm.name + "\"><instance_geometry url=\"#" + cm.name +
               "\"><bind_material><technique_common><instance_material symbol=\"surface\" target=\"#material-" +
               matName +
               "\"><bind_vertex_input semantic=\"UVSET0\" input_semantic=\"TEXCOORD\" input_set=\"0\"/>"
               "</instance_material></technique_common></bind_material></instance_geometry></node>\n";
    }
    out += "    </visual_scene>\n  </library_visual_scenes>\n";
    out += "  <scene><instance_visual_scene url=\"#scene\"/></scene>\n</COLLADA>\n";
    return out;
}

bool writeCollada(const std::string& path, const ColladaDocument& document) {
    std::ofstream file(path, std::ios::binary);
    if (!file) return false;
    std::string text = colladaText(document);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(file);
}
