package shop;

import java.util.HashMap;
import java.util.Map;

public class Inventory {
    private final Map<String, Integer> stock = new HashMap<>();

    public void add(String item, int quantity) {
        stock.merge(item, quantity, Integer::sum);
    }

    public boolean remove(String item, int quantity) {
        int available = stock.getOrDefault(item, 0);
        if (available < quantity) {
            return false;
        }
        stock.put(item, available - quantity);
        return true;
    }

    public static void main(String[] args) {
        Inventory inventory = new Inventory();
        inventory.add("apple", 3);
        System.out.println(inventory.remove("apple", 2));
    }
}
